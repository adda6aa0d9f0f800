// An attachment whose content is a file on disk.
#pragma once

#include <memory>
#include <string>

#include "message/IdAttachment.h"

class TIdAttachmentFile : public TIdAttachment {
public:
    TIdAttachmentFile(TIdMessageParts* parts, const std::string& path);
    ~TIdAttachmentFile() override;

    const std::string& SourcePath() const { return sourcePath_; }
    bool FileIsTempFile() const { return fileIsTempFile_; }
    void SetFileIsTempFile(bool value) { fileIsTempFile_ = value; }

    // Raises EFOpenError "Cannot open file %s" when the file cannot be read.
    TStream& OpenContent() override;
    void CloseContent() override;

private:
    std::string sourcePath_;
    std::unique_ptr<TFileStream> stream_;
    bool fileIsTempFile_ = false;
};

// The last component of a path, as the file system separates it.
std::string ExtractFileName(const std::string& path);
