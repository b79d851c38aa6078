#include "device/command_object.h"

CCommandObject::~CCommandObject() = default;

int CCommandObject::executeIn(const CCDB& cdb, CMsgBuffer& buffer) {
    return executeIn(cdb, buffer.data(), buffer.size());
}

int CCommandObject::executeOut(const CCDB& cdb, const CMsgBuffer& buffer) {
    return executeOut(cdb, buffer.data(), buffer.size());
}
