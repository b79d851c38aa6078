#include "device/cdb.h"

CCDB::CCDB(const std::uint8_t* pattern, std::size_t length) {
    assign(pattern, length);
}

void CCDB::setByte(std::size_t i, std::uint8_t value) {
    checkRange(i, 1);
    (*this)[i] = value;
}
