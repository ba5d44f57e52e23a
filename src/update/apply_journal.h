// The journal of an apply: the steps the update worker takes on the
// installation, one record per step, each written (and on the disk) before
// its step begins, so that a process that ends at any moment leaves enough
// behind to undo what it did.
//
// UTF-8 text, one record per line: fields separated by tabs, then a tab and
// the CRC-32 of the line before it in 8 hexadecimal digits.
//   apply  <token>                        the first line: the backups' prefix
//   move   <n> <existed> <target> <source> a staged file moved into place
//   copy   <n> <existed> <target> <source> a file copied into place
//   delete <n> <target>                   an installed file put aside
//   mkdir  <n> <target>                   a folder created for the files to come
// Names are relative to the application directory; <existed> is 1 when the
// target was there before the step and is kept as backup <token>-<n>. A
// line cut short or failing its check ends the journal: it was being
// written when the process ended, so its step never began.
//
// Pure text work; any thread may call these functions.
#pragma once

#include <string>
#include <vector>

struct SApplyStep {
    enum Kind { kMove, kCopy, kDelete, kMakeDir };
    Kind kind = kMove;
    int number = 0;        // numbers the step's backup
    bool existed = false;  // the target was there before and is kept as the backup (always for kDelete)
    std::wstring target;   // a folder for kMakeDir
    std::wstring source;   // kMove, kCopy
};

// The CRC-32 of text in 8 lower-case hexadecimal digits.
std::string Crc32Hex(const std::string& text);
// The first line of a journal. Returns false when the token holds a tab or
// a line break.
bool FormatJournalHeader(const std::wstring& token, std::string& line);
// The record of a step. Returns false when a name holds a control character
// (no file name does), which the record could not carry.
bool FormatJournalStep(const SApplyStep& step, std::string& line);
// Reads a journal: its token and the records up to the first line that is
// cut short, fails its check or does not parse. Returns false, with nothing
// read, when the first line is not a whole header.
bool ParseJournal(const std::string& bytes, std::wstring& token, std::vector<SApplyStep>& steps);
