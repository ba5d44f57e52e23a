#include "update/apply_journal.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>

#include "util/code_page.h"

namespace {

const char kHeaderWord[] = "apply";
const char* const kStepWords[] = {"move", "copy", "delete", "mkdir"};
const int kStepKinds = static_cast<int>(sizeof kStepWords / sizeof kStepWords[0]);

const size_t kCheckDigits = 8;

// Steps with a target only: no source, no backup flag.
bool TargetOnly(SApplyStep::Kind kind) { return kind == SApplyStep::kDelete || kind == SApplyStep::kMakeDir; }

bool HasControlCharacter(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

std::string Line(const std::vector<std::string>& fields) {
    std::string text;
    for (const std::string& field : fields) text += (text.empty() ? "" : "\t") + field;
    return text + "\t" + Crc32Hex(text) + "\n";
}

// The fields of one whole line (without its '\n') that passes its check.
bool CheckedFields(const std::string& line, std::vector<std::string>& fields) {
    const size_t last = line.rfind('\t');
    if (last == std::string::npos || line.size() - last - 1 != kCheckDigits) return false;
    const std::string text = line.substr(0, last);
    if (line.compare(last + 1, kCheckDigits, Crc32Hex(text)) != 0) return false;
    fields.clear();
    size_t start = 0;
    for (size_t tab; (tab = text.find('\t', start)) != std::string::npos; start = tab + 1) {
        fields.push_back(text.substr(start, tab - start));
    }
    fields.push_back(text.substr(start));
    return true;
}

bool ParseNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    value = std::atoi(text.c_str());
    return true;
}

bool ParseStep(const std::vector<std::string>& fields, SApplyStep& step) {
    if (fields.empty()) return false;
    int kind = -1;
    for (int k = 0; k < kStepKinds; ++k) {
        if (fields[0] == kStepWords[k]) kind = k;
    }
    if (kind < 0) return false;
    step = SApplyStep();
    step.kind = static_cast<SApplyStep::Kind>(kind);
    if (TargetOnly(step.kind)) {
        step.existed = step.kind == SApplyStep::kDelete;
        if (fields.size() != 3 || !ParseNumber(fields[1], step.number)) return false;
        step.target = Utf8ToWide(fields[2]);
        return !step.target.empty();
    }
    if (fields.size() != 5 || !ParseNumber(fields[1], step.number)) return false;
    if (fields[2] != "0" && fields[2] != "1") return false;
    step.existed = fields[2] == "1";
    step.target = Utf8ToWide(fields[3]);
    step.source = Utf8ToWide(fields[4]);
    return !step.target.empty() && !step.source.empty();
}

}  // namespace

std::string Crc32Hex(const std::string& text) {
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(text.data()),
                            static_cast<uInt>(text.size()));
    char digits[kCheckDigits + 1];
    std::snprintf(digits, sizeof digits, "%08lx", static_cast<unsigned long>(crc & 0xFFFFFFFFul));
    return digits;
}

bool FormatJournalHeader(const std::wstring& token, std::string& line) {
    if (token.empty() || HasControlCharacter(token)) return false;
    line = Line({kHeaderWord, WideToUtf8(token)});
    return true;
}

bool FormatJournalStep(const SApplyStep& step, std::string& line) {
    if (step.target.empty() || HasControlCharacter(step.target) || HasControlCharacter(step.source)) return false;
    const std::string number = std::to_string(step.number);
    if (TargetOnly(step.kind)) {
        line = Line({kStepWords[step.kind], number, WideToUtf8(step.target)});
        return true;
    }
    if (step.source.empty()) return false;
    line = Line({kStepWords[step.kind], number, step.existed ? "1" : "0", WideToUtf8(step.target),
                 WideToUtf8(step.source)});
    return true;
}

bool ParseJournal(const std::string& bytes, std::wstring& token, std::vector<SApplyStep>& steps) {
    token.clear();
    steps.clear();
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        if (!CheckedFields(bytes.substr(start, end - start), fields)) break;
        if (start == 0) {
            if (fields.size() != 2 || fields[0] != kHeaderWord || fields[1].empty()) return false;
            token = Utf8ToWide(fields[1]);
            continue;
        }
        SApplyStep step;
        if (!ParseStep(fields, step)) break;
        steps.push_back(step);
    }
    return !token.empty();
}
