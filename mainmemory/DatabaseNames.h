// Rules about main-memory database names and their PC files that need no operating
// system: the PC file name of a database, the name stored inside a file, and the free name
// a renamed copy takes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/FileEntry.h"

// "Memo DB.old" -> "Memo_DB_old.pdb": every " " and "." becomes "_" (so no name can climb
// out of its folder), ".prc" for a resource database, ".pdb" otherwise.
std::string databaseFileName(const std::string& dbName, bool resource);

// The database name at the start of a file's bytes: up to the first NUL, at most 32 bytes
// (a full name field without a NUL gives all 32).
std::string databaseNameInFile(const uint8_t* data, size_t size);

// The next free name for a renamed copy: a name of up to 30 characters gets "2" appended,
// a longer one has its last character raised by one (a letter becomes "2"), and while the
// candidate is already a key of the entry map its last digit goes up, never past "9".
// False when no free name is left; candidate then holds the last name tried.
bool newUniqueDatabaseName(const std::string& name, const EntryMap& entries, std::string& candidate);

// The content of a database file renamed to newName: the name field rewritten (the rest of
// its 32 bytes kept), everything after it unchanged. False when the content is too short to
// hold a name field.
bool renamedDatabaseFile(const std::string& content, const std::string& newName, std::string& renamed);
