#pragma once

#include "device/message.h"

#include <cstdint>
#include <string>
#include <utility>

// The plain messages of an upgrade run. The producer frames the job with
// start/end and page start/page end; progress numbers and status texts travel
// as CMessageLong and CMessageString with one of the codes below.

class CMessageStart : public CMessage {
public:
    int type() const override { return kStart; }
};

class CMessageEnd : public CMessage {
public:
    int type() const override { return kEnd; }
};

class CMessagePageStart : public CMessage {
public:
    int type() const override { return kPageStart; }
};

class CMessagePageEnd : public CMessage {
public:
    int type() const override { return kPageEnd; }
};

// A message that carries a payload code telling the reader what the payload is.
class CMessageAny : public CMessage {
public:
    // Codes used by the upgrade flows.
    enum Code : std::int32_t {
        kBytesWritten = 45,  // CMessageLong: bytes just written
        kBytesCompared = 47, // CMessageLong: bytes just compared
        kTotalBytes = 48,    // CMessageLong: total bytes of the job
        kLoadingText = 52,   // CMessageString: loading status line
        kCompareText = 53,   // CMessageString: compare status line
    };

    virtual std::int32_t code() const = 0;
};

struct tagMESSAGELONG {
    std::int32_t code;
    std::int32_t value;
};

class CMessageLong : public CMessageAny {
public:
    CMessageLong(std::int32_t code, std::int32_t value) : record_{code, value} {}

    int type() const override { return kLong; }
    std::int32_t code() const override { return record_.code; }
    std::int32_t value() const { return record_.value; }
    const tagMESSAGELONG& record() const { return record_; }

private:
    tagMESSAGELONG record_;
};

struct tagMESSAGESTRING {
    std::int32_t code;
};

// Holds its text rather than being a string itself, so that a message never
// slices into a bare std::string.
class CMessageString : public CMessageAny {
public:
    CMessageString(std::int32_t code, std::string text) : record_{code}, text_(std::move(text)) {}

    int type() const override { return kString; }
    std::int32_t code() const override { return record_.code; }
    const std::string& text() const { return text_; }

private:
    tagMESSAGESTRING record_;
    std::string text_;
};
