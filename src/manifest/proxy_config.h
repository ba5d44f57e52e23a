// The user's proxy choice: the value "cfgProxy" of section "CFG" in
// UserCfg.ini. Its fields are separated by ';': the mode, and for a proxy
// given in the value its host, its port, and the user name and password in
// Base64, each field followed by ';' ("2;proxy.local;8080;dXNlcg==;cGFzcw==;").
// A direct configuration is "0;", the system's proxy "1;".
//
// No shared state: any thread may call these functions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

const int kProxyDirect = 0;
const int kProxySystem = 1;
// This and every higher mode take the proxy from the value itself.
const int kProxyGiven = 2;

// Narrow strings are in the ANSI code page. An empty host means direct
// connections, whatever the mode.
struct SProxyConfig {
    int mode = kProxyDirect;
    std::string host;
    std::string port;  // as stored; not checked for digits
    std::string user;
    std::string password;
};

// Asks for the system's proxy with the contract of QuerySystemProxy.
using SystemProxyQuery = std::function<bool(bool& inUse, std::string& host, std::string& port)>;

// Parses a stored value into config, which is reset first. Mode 1 asks
// querySystemProxy and leaves user name and password empty; modes below 1
// connect directly. A user name or password that is not Base64 becomes empty.
// Returns 0 on success; on failure config keeps the fields parsed so far and
// the result is -1 when the value has no field at all (empty text), -2 when
// mode 1 and the system's proxy cannot be read or has no usable entry, -3
// when the host is missing, -4 the port, -5 the user name, -6 the password.
int ParseProxyValue(const std::string& value, SProxyConfig& config, const SystemProxyQuery& querySystemProxy);

// Returns the stored form of config: the mode and ';', then for mode 2 or
// more host, port, Base64 user name and Base64 password, each followed by ';'.
std::string ComposeProxyValue(const SProxyConfig& config);

// Reads "cfgProxy" (at most 255 characters) from the UserCfg.ini at
// userCfgPath and parses it, asking QuerySystemProxy for mode 1. A missing
// file or key, or an empty value, gives mode 0 and 0. Returns 0 on success,
// otherwise ParseProxyValue's codes -2 to -6.
int LoadProxyConfig(SProxyConfig& config, const std::wstring& userCfgPath);
// As above with the UserCfg.ini of the application directory.
int LoadProxyConfig(SProxyConfig& config);

// Stores the stored form of config as "cfgProxy" in the UserCfg.ini at
// userCfgPath. Returns false when the file cannot be read or written.
bool SaveProxyConfig(const SProxyConfig& config, const std::wstring& userCfgPath);
// As above with the UserCfg.ini of the application directory.
bool SaveProxyConfig(const SProxyConfig& config);

// The port number the connections use: the port text read as atoi does,
// kept to its low 16 bits. Text that does not start with a number gives 0.
uint16_t ProxyPortNumber(const std::string& port);
