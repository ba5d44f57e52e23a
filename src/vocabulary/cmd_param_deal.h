// Parameter tables: the launcher's command line, the decoded text of a command
// string, the entrance and term tables are all key/value lists read into one.
#pragma once

#include <map>
#include <string>

// A table from key to value, keys unique and kept in ordinal (case-sensitive)
// order, so a serialized table always lists its entries the same way.
// Not synchronised: one thread at a time.
class CmdParamDeal {
public:
    CmdParamDeal() = default;
    virtual ~CmdParamDeal() = default;
    CmdParamDeal(const CmdParamDeal&) = delete;
    CmdParamDeal& operator=(const CmdParamDeal&) = delete;
    CmdParamDeal(CmdParamDeal&&) = default;
    CmdParamDeal& operator=(CmdParamDeal&&) = default;

    // Splits text at every entrySeparator and each piece at its first
    // keySeparator into key and value; a piece without one is a key with an
    // empty value. Adds the pairs, a repeated key taking the later value.
    // Empty pieces count, except the one after the last separator; an empty
    // text is one empty piece. Nothing is trimmed.
    void Parse(const std::wstring& text, wchar_t entrySeparator, wchar_t keySeparator);
    bool Has(const std::wstring& key) const;
    // Returns false, leaving value unchanged, when the key is absent.
    bool Get(const std::wstring& key, std::wstring& value) const;
    // Returns the value's leading decimal integer; 0 when the key is absent or
    // the value does not start with a number.
    int GetInt(const std::wstring& key) const;
    void Set(const std::wstring& key, const std::wstring& value);
    void SetInt(const std::wstring& key, int value);
    // Returns key + keySeparator + value + entrySeparator for every entry, in key order.
    std::wstring Serialize(wchar_t entrySeparator, wchar_t keySeparator) const;

private:
    std::map<std::wstring, std::wstring> params_;
};

// The parameters of the command string the updater was started with, and its
// prefix, so the update engine can hand both on to the processes it starts.
// The updater fills it on the main thread before the update worker starts;
// after that only the worker uses it.
class CCmdLineAnalyse : public CmdParamDeal {
public:
    void SetPrefix(const std::wstring& prefix);
    const std::wstring& GetPrefix() const;

private:
    std::wstring prefix_;
};

// Returns the process's one CCmdLineAnalyse.
CCmdLineAnalyse& CmdLineParams();
