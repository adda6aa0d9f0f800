#include "message/IdAttachmentFile.h"

#include <cstdio>

std::string ExtractFileName(const std::string& path) {
    const size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

TIdAttachmentFile::TIdAttachmentFile(TIdMessageParts* parts, const std::string& path)
    : TIdAttachment(parts), sourcePath_(path) {
    SetFileName(ExtractFileName(path));
}

TIdAttachmentFile::~TIdAttachmentFile() {
    stream_.reset();
    if (fileIsTempFile_) std::remove(sourcePath_.c_str());
}

TStream& TIdAttachmentFile::OpenContent() {
    stream_ = std::make_unique<TFileStream>(sourcePath_, TFileStream::Mode::Read);
    return *stream_;
}

void TIdAttachmentFile::CloseContent() { stream_.reset(); }
