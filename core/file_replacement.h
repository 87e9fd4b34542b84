#pragma once

#include <string>
#include <string_view>

// Replaces the file at path with bytes in one step: a reader sees the old
// file or the new one whole, and a failure or a kill part way leaves the old
// one as it was and no temporary file beside it (but where the file system
// has no unnamed files, a kill leaves one of the program's own name). A symbolic
// link stays a link and its target is written. An existing file keeps its
// permissions, without a setuid or setgid bit, and its owner where the
// process may keep it; its other hard links keep the old data. Anything but
// a regular file is refused, so that a device node or a FIFO is never
// replaced by a file. Throws OperatorError naming path.
namespace FileReplacement {

void write(const std::string& path, std::string_view bytes);

} // namespace FileReplacement
