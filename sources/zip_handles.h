#pragma once

#include "operator_error.h"

#include <memory>
#include <string>
#include <zip.h>

// libzip's handles, let go of with their scope, and why libzip would not
// open an entry.
namespace ZipHandles {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

// An entry that libzip would not open: packed in a way it cannot unpack
// (LZMA, say, which Debian's libzip lacks), or damaged. The entry's name is
// the detail.
inline OperatorError entryRefusal(zip_t* archive, const std::string& subject,
                                  const std::string& name) {
    const int code = zip_error_code_zip(zip_get_error(archive));
    return {code == ZIP_ER_COMPNOTSUPP ? OperatorError::Kind::FileCompressionUnsupported
                                       : OperatorError::Kind::FileCorrupt,
            subject, name};
}

} // namespace ZipHandles
