// The record layouts of XOLBIN that the writer and the reader share: prefix and short-form
// bytes of the compact encoding, header-word bits of the fixed one, context-section flags.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::xolbin {

constexpr char kMagic[] = "XOLBIN";
constexpr uint8_t kVersion = 2;

// ---- compact encoding ----
constexpr uint8_t kNewLinePrefix = 0xC0;
constexpr uint8_t kReferencePrefix = 0xC1;   // already written: a path follows the type part
constexpr uint8_t kTrue = 0xC2;
constexpr uint8_t kFalse = 0xC3;
constexpr uint8_t kGlobalSetPrefix = 0xC4;   // boot payloads only
constexpr uint8_t kCopyAtPath = 0xFF;
constexpr uint8_t kSmallInteger = 0x80;      // 0x80 + n is the integer n
constexpr int32_t kSmallIntegerMax = 63;
constexpr uint8_t kTypeFlag = 0x40;          // the record's per-type flag
constexpr uint8_t kTypeBits = 0x3F;
constexpr uint8_t kTypeFollows = 63;         // the type id follows as a LEB128
constexpr uint32_t kUnitShift = 2;           // strings: count << 2 | log2 unit
constexpr uint32_t kUnitCodeMask = 3;
constexpr uint32_t kMaxLeb128Bytes = 5;
constexpr uint8_t kFifthByteLimit = 0x10;    // a fifth LEB128 byte must be below this
// Floats and times with an integral value in this range are written as that integer.
constexpr double kIntegralLimit = 2147483000.0;
// Percents that are a whole number of hundredths in this range are written as that number.
constexpr double kPercentLimit = 21474836.0;
constexpr double kHundredths = 100.0;

// ---- fixed encoding: bits of a record's header word ----
constexpr uint32_t kFillWord = 0;
constexpr uint32_t kReferenceRecord = 255;
constexpr uint32_t kUnitSizeShift = 8;       // tuple count, or unit size in bytes
constexpr uint32_t kUnitSizeMask = 0xFF;
constexpr uint32_t kAlreadyWritten = 1u << 19;
constexpr uint32_t kMoneyNegative = 1u << 22;
constexpr uint32_t kBitsetComplemented = 1u << 23;
constexpr uint32_t kObjectHooks = 1u << 24;
constexpr uint32_t kGlobalWord = 1u << 25;
constexpr uint32_t kFixedNewLine = 1u << 31;
constexpr uint32_t kFixedHeaderSize = 16;    // magic, version, flags, root count, length
constexpr uint32_t kDoubleAlign = 8;         // floats start on a multiple of 8 record bytes
constexpr uint32_t kNameAlign = 8;           // fixed symbol names are padded to 8 bytes
constexpr uint32_t kWordSize = 4;

// ---- context sections ----
constexpr uint8_t kContextMark = TYPE_CONTEXT;
// Compact flags byte.
constexpr uint8_t kSectionKindMask = 3;
constexpr uint8_t kSectionOnStack = 4;
constexpr uint8_t kSectionObject = 8;
constexpr uint8_t kSectionValues = 16;
// Fixed header word.
constexpr uint32_t kFixedKindShift = 26;
constexpr uint32_t kFixedSectionObject = 1u << 28;
constexpr uint32_t kFixedSectionOnStack = 1u << 29;
constexpr uint32_t kFixedSectionValues = 1u << 30;

// Paths: how deep a reference may reach.
constexpr uint32_t kMaxPathDepth = 65536;

// Cell bytes 4 to 15 hold a money value's currency and digits; tuples their 12 bytes.
constexpr uint32_t kPayloadBytes = 12;
constexpr uint32_t kTypesetBytes = 12;

// The datatypes that are refused both ways.
constexpr uint64_t kRefusedTypes =
    types_of({TYPE_ROUTINE, TYPE_TRIPLE, TYPE_HANDLE, TYPE_PORT, TYPE_EVENT});

}  // namespace xol::xolbin
