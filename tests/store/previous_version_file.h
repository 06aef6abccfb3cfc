// A device list file as the previous version wrote it: no row keys, no
// keyring mark, no reconnect setting, passwords in the file.
#pragma once

#include <string>

namespace orvix {

inline constexpr const char* kPreviousVersionSchema =
    "CREATE TABLE schema_version (version INTEGER NOT NULL);"
    "INSERT INTO schema_version VALUES (1);"
    "CREATE TABLE devices ("
    " position INTEGER PRIMARY KEY,"
    " id INTEGER NOT NULL CHECK (id BETWEEN 0 AND 4294967295),"
    " name TEXT NOT NULL, account TEXT NOT NULL, password TEXT NOT NULL,"
    " model_index INTEGER NOT NULL CHECK (model_index BETWEEN -2147483648 AND 2147483647),"
    " framing_kind INTEGER NOT NULL CHECK (framing_kind BETWEEN -2147483648 AND 2147483647),"
    " use_ddns INTEGER NOT NULL CHECK (use_ddns BETWEEN 0 AND 4294967295),"
    " ddns_id TEXT NOT NULL, ddns_server TEXT NOT NULL,"
    " ddns_port INTEGER NOT NULL CHECK (ddns_port BETWEEN 0 AND 65535),"
    " use_static INTEGER NOT NULL CHECK (use_static BETWEEN 0 AND 4294967295),"
    " address TEXT NOT NULL, port INTEGER NOT NULL CHECK (port BETWEEN 0 AND 65535));";

// How the previous version saved: every row replaced, with its own columns.
inline std::string previousVersionRow(int position, uint32_t id, const std::string& name, const std::string& password) {
    return "INSERT INTO devices (position, id, name, account, password, model_index, framing_kind, use_ddns,"
           " ddns_id, ddns_server, ddns_port, use_static, address, port) VALUES (" +
           std::to_string(position) + ", " + std::to_string(id) + ", '" + name + "', 'admin', '" + password +
           "', 11, 0, 0, '', '', 2000, 1, '192.0.2." + std::to_string(id % 250) + "', 3000);";
}

}  // namespace orvix
