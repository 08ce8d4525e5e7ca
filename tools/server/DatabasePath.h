// What can be told about a --db path before anything is made for it: the server refuses such a path
// before it claims the database (the claim folder beside it) or narrows the file's mode.
#pragma once
#include <string>

namespace stargrid_server {

// Why the database at `path` cannot be had, quoted for a message ("PATH: it is a link", "PATH: a
// folder", "PATH: not a regular file (a FIFO)", "PATH: file is not a database", "PATH: its folder
// FOLDER does not exist", "PATH: it belongs to user N"...), or empty when it may be: a regular file of
// this user's own that is empty or starts as an SQLite database does, or no file yet in a folder that is
// there, with no journal beside it that is not a regular file of this user's own. Only looked at (never
// through a link at the file or a journal) and read: nothing is made or changed.
std::string refusalOfDatabasePath(const std::string& path);

}  // namespace stargrid_server
