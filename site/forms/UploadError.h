#pragma once

namespace Site {

// Why the site did not take an upload.
enum class UploadError {
    Malformed,   // not a complete form
    NoCategory,  // missing, or not one of the catalogue's categories
    EmptyTitle,
    TitleTooLong,
    RemarkTooLong,
    NoFile,
    UnsafeFileName,  // a path, a control character, or only dots
    FileNameTooLong,
    EmptyFile,
    FileTooLarge,
    TooFrequent,      // the sender uploaded too often of late
    Blocked,          // the operator blocked the sender
    QuotaSpent,       // the sender's bytes for the day are spent
    NoSpace,          // the disk is down to its reserve
    Infected,         // a scan found malware in the file
    ScanUnavailable,  // no scan could be had, and the operator has such uploads refused
    StoreFailed,      // the file or the record could not be saved
};

}  // namespace Site
