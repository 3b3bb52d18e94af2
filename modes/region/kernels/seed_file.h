#pragma once
// The seed file of seeded region growing ("SRG_CPs.txt"), text with numbers as printf "%f":
//   groupNum <n>
//   group <i> seedNum <s>        per group, i from 0
//   color <r> <g> <b>
//   <x> <y> <z>                  s seed lines
// The reader takes whitespace-separated fields; the words are not checked, the numbers are.
#include <string>
#include <vector>

#include "modes/region/kernels/TSrgGroup.h"

enum class TSeedFileStatus {
  Ok,
  CannotOpen,        // the file could not be opened for reading
  WriteFailed,       // the file could not be created or written completely
  Malformed,         // a field is missing, too long, or not a number where one is needed
  TooManyGroups,     // the group count is negative or above kSrgMaxGroups
  IndexOutOfRange,   // a group index outside 0..n-1 or a negative seed count
};

struct TSeedFileResult {
  TSeedFileStatus status = TSeedFileStatus::Ok;
  std::string message;  // what to tell the user; empty on Ok
  bool ok() const { return status == TSeedFileStatus::Ok; }
};

// Writes the groups' colours and seeds.  Numbers are written as "%f" whatever the locale.
TSeedFileResult t_writeSrgSeedFile(const std::string& path, const std::vector<TSrgGroup>& groups);

// Reads a seed file.  On Ok, groups is replaced by the file's groups (colours and seeds; sums,
// means, counts and surfaces empty; colours held to 0..1); on any other status groups is left as
// it was.
TSeedFileResult t_readSrgSeedFile(const std::string& path, std::vector<TSrgGroup>& groups);
