// The messages the pack room leaves in the error record, each with the
// arguments its format takes. Callers read them after a failed call; the
// wording is fixed.
#pragma once

#include "axp/common/error_messages.h"

namespace AXP::messages {

constexpr char kConstMode[] = "Const Mode";

// Opening, creating and writing packs.
inline constexpr const auto& kOpenPack = kFileError;  // path, system error
constexpr char kTableSeek[] = "file: %s, point=%d";  // path, offset
constexpr char kHeaderSeek[] = "point=0";
constexpr char kRecordSeek[] = "winErr=%d, point=%d";  // system error, offset
constexpr char kOpenSource[] = "Open file: %s, WinErr=%d";
constexpr char kReadSource[] = "file: %s";

// The (list) of a pack is missing, unreadable or too large: "(list)", pack
// path.
inline constexpr const auto& kListInPack = kPartOf;

// Entries whose block index lies outside the block table.
constexpr char kOpenFileOutOfRange[] = "openFile, vector subscript out of range";
constexpr char kFileSizeOutOfRange[] = "getFileSize, vector subscript out of range";
constexpr char kInsertOutOfRange[] = "insertContents, vector subscript out of range";

// Restoring an entry into a taken slot: info position, start position,
// stored and new hashA, stored and new hashB, stored and new word.
constexpr char kSlotTaken[] = "Pos:%d,%d,HashA:%d:%d,HashB:%d:%d,nData:%x:%x";

// Streams.
constexpr char kStreamSeek[] = "pos=%d";

// The integrity check.
constexpr char kListCheck[] = "file list check error!";
constexpr char kListEmptyLine[] = "list file second line=0";
constexpr char kListBadRow[] = "list file=%s";
inline constexpr const auto& kShortRead = kFileReadError;
constexpr char kCountDiffers[] = "file countdif(%d!=%d)";
constexpr char kUnrefHashNode[] = "unref hashnode(%d)";
constexpr char kUnrefBlockNode[] = "unref blocknode(%d)";
constexpr char kUnrefFileHead[] = "unref filehead";

}  // namespace AXP::messages
