#include "device/scanner.h"

#include "device/flash_map_choice.h"
#include "settings/localisation.h"

#include <cstdio>
#include <cstring>

namespace {

const std::uint8_t kTestUnitReady[6] = {0x00, 0, 0, 0, 0, 0};
const std::uint8_t kInquiry[6] = {0x12, 0, 0, 0, 0, 0};
const std::uint8_t kVendorInquiryPage[6] = {0x12, 0x01, 0xF0, 0, 0x1E, 0};
const std::uint8_t kReceiveDiagnostic[6] = {0x1C, 0, 0, 0, 0x08, 0};

constexpr std::size_t kInquiryLength = 36;
constexpr std::size_t kVendorPageLength = 30;
constexpr std::size_t kDiagnosticLength = 8;

struct DiagnosticText {
    std::uint32_t value;
    const char* text;
};

const DiagnosticText kDiagnosticTexts[] = {
    {0xE240, "Main Motor Error"},
    {0xE300, "Fan Motor Error"},
    {0xE850, "SdRam Error"},
    {0xE190, "Imprinter Comunication Error"},
};

std::string upToZero(const std::uint8_t* bytes, std::size_t length) {
    std::size_t n = 0;
    while (n < length && bytes[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(bytes), n);
}

std::string trimRight(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

} // namespace

std::string DiagnosticDetail(std::uint32_t value) {
    if (value == 0)
        return {};
    for (const auto& entry : kDiagnosticTexts)
        if (entry.value == value)
            return Translate(entry.text);
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

CScanner::CScanner() : sti_(*this), scsi_(*this) {}

CScanner::~CScanner() = default;

std::string CScanner::deviceName() const {
    return selected().deviceName();
}

bool CScanner::NeedsReconnect() const {
    return flashWriter.get() != nullptr && flashWriter.get()->GetReconnect();
}

CCommandObject& CScanner::selected() {
    return useSti != 0 ? static_cast<CCommandObject&>(sti_) : static_cast<CCommandObject&>(scsi_);
}

const CCommandObject& CScanner::selected() const {
    return useSti != 0 ? static_cast<const CCommandObject&>(sti_)
                       : static_cast<const CCommandObject&>(scsi_);
}

std::string CScanner::identifier(std::size_t n) const {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    return n < identifiers.size() ? identifiers[n] : std::string();
}

void CScanner::translateError(const CCmdError& error) {
    if (!error.is(4, 0x8004) || translating_)
        throw error;
    translating_ = true;
    CCmdError translated = error;
    try {
        std::uint8_t reply[kDiagnosticLength] = {};
        selected().executeIn(CCDB(kReceiveDiagnostic), reply, sizeof reply);
        const std::uint32_t value = static_cast<std::uint32_t>(reply[4]) << 24 |
                                    static_cast<std::uint32_t>(reply[5]) << 16 |
                                    static_cast<std::uint32_t>(reply[6]) << 8 | reply[7];
        if (value != 0)
            translated.setDetail(DiagnosticDetail(value));
    } catch (const CCmdError&) {
        // The diagnostic read failed: the error being translated goes on as it
        // was, and later errors are translated again.
        translating_ = false;
        throw error;
    }
    translating_ = false;
    throw translated;
}

int CScanner::open(int mode) {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    useSti = 1;
    if (!sti_.open()) {
        useSti = 0;
        if (!scsi_.open())
            return 0;
    }
    identify(mode);
    return 1;
}

int CScanner::openWith(const std::vector<std::string>& list) {
    {
        std::lock_guard<std::recursive_mutex> guard(commands_);
        identifiers = list;
    }
    return open(0);
}

void CScanner::close() {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    selected().close();
}

void CScanner::reset() {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    selected().reset();
}

bool CScanner::linkFlag() const {
    return selected().linkFlag();
}

int CScanner::executeIn(const CCDB& cdb, CMsgBuffer& buffer) {
    return executeIn(cdb, buffer.data(), buffer.size());
}

int CScanner::executeIn(const CCDB& cdb, std::uint8_t* buffer, std::size_t length) {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    try {
        return selected().executeIn(cdb, buffer, length);
    } catch (const CCmdError& error) {
        translateError(error);
    }
    return -1; // translateError always throws
}

int CScanner::executeOut(const CCDB& cdb, const CMsgBuffer& buffer) {
    return executeOut(cdb, buffer.data(), buffer.size());
}

int CScanner::executeOut(const CCDB& cdb, const std::uint8_t* buffer, std::size_t length) {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    try {
        return selected().executeOut(cdb, buffer, length);
    } catch (const CCmdError& error) {
        translateError(error);
    }
    return -1; // translateError always throws
}

int CScanner::execute(const CCDB& cdb) {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    try {
        return selected().execute(cdb);
    } catch (const CCmdError& error) {
        translateError(error);
    }
    return -1; // translateError always throws
}

void CScanner::identify(int mode) {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    testUnitReadyQuiet();
    if ((mode & 1) != 0) {
        legacyDevice = (mode & 2) != 0 ? 1 : 0;
        chooseMap();
        return;
    }
    std::uint8_t data[kInquiryLength];
    inquiry(data, sizeof data);
    inquiryString = upToZero(data + 8, kInquiryLength - 8);
    versionString = upToZero(data + 32, 4);
    modelString = trimRight(inquiryString.substr(0, 24));
    if (identityProcessor != 0) {
        std::string name, version;
        processorInfo(identityProcessor, name, version);
        name = trimRight(name);
        if (!name.empty())
            modelString += "(" + name + ")";
        versionString = version;
    }
    legacyDevice = inquiryString.size() >= 12 && inquiryString.compare(8, 4, "ZEPA") == 0 ? 1 : 0;
    try {
        std::uint8_t page[kVendorPageLength] = {};
        executeIn(CCDB(kVendorInquiryPage), page, sizeof page);
    } catch (const CCmdError&) {
        legacyDevice = 1;
    }
    chooseMap();
}

void CScanner::chooseMap() {
    ChooseFlashMap(flashWriter, inquiryString, quietErrors != 0);
}

std::string CScanner::transportPrefix() const {
    const std::string name = deviceName();
    const auto slash = name.find('\\');
    return slash == std::string::npos ? name : name.substr(0, slash + 1);
}

bool CScanner::productIs(const std::string& model) const {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    return !model.empty() && inquiryString.find(model) == 8;
}

int CScanner::testUnitReady() {
    return execute(CCDB(kTestUnitReady));
}

int CScanner::testUnitReadyQuiet() {
    try {
        return testUnitReady();
    } catch (const CCmdError&) {
        return 0;
    }
}

void CScanner::inquiry(std::uint8_t* array, std::size_t length) {
    std::memset(array, 0, length);
    CCDB cdb(kInquiry);
    cdb.setByte(4, static_cast<std::uint8_t>(length));
    executeIn(cdb, array, length);
}
