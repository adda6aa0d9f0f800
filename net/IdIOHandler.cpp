#include "net/IdIOHandler.h"

#include <algorithm>
#include <cstring>

#include "net/IdNetExceptions.h"
#include "platform/FileName.h"
#include "platform/Locale.h"

TIdIOHandler::TIdIOHandler(TComponent* owner) : TIdComponent(owner) {}

TIdIOHandler::~TIdIOHandler() = default;

namespace {
TIdIOHandlerOpenHook& OpenHook() {
    static TIdIOHandlerOpenHook hook;
    return hook;
}
}  // namespace

void TIdIOHandler::SetOpenHook(TIdIOHandlerOpenHook hook) { OpenHook() = std::move(hook); }

void TIdIOHandler::Open() {
    if (const TIdIOHandlerOpenHook& hook = OpenHook()) hook(*this);
    receiveMarker_ = std::make_unique<TIdBuffer>();
    inputBuffer_ = std::make_unique<TIdBuffer>([this](int32_t count) { DoWork(WorkRead, count); });
    isOpen_ = true;
    closedByPeer_ = false;
}

void TIdIOHandler::Close() {
    // Once per connection, however often the transport closes it.
    if (isOpen_ && intercept_ != nullptr) intercept_->Disconnect();
    isOpen_ = false;
}

void TIdIOHandler::SetIntercept(TIdConnectionIntercept* value) {
    if (value == intercept_) return;
    if (intercept_ != nullptr) RemoveFreeNotification(intercept_);
    intercept_ = value;
    if (intercept_ != nullptr) FreeNotification(intercept_);
}

void TIdIOHandler::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == intercept_) intercept_ = nullptr;
    TIdComponent::Notification(component, operation);
}

const TIdBytes& TIdIOHandler::InterceptSend(const TIdBytes& bytes, TIdBytes& changed) {
    if (intercept_ == nullptr) return bytes;
    changed = bytes;
    intercept_->Send(changed);
    return changed;
}

void TIdIOHandler::InterceptReceive(TIdBytes& bytes) {
    if (intercept_ != nullptr) intercept_->Receive(bytes);
}

bool TIdIOHandler::Connected() { return BaseConnected(); }

bool TIdIOHandler::BaseConnected() {
    CheckDisconnect(false, false);
    return ((!closedByPeer_ && inputBuffer_ != nullptr) || !InputBufferIsEmpty()) && isOpen_;
}

bool TIdIOHandler::WaitReadable(int32_t) { return false; }

void TIdIOHandler::PollInput(int32_t timeout) {
    if (Connected()) FillInputBuffer(false, timeout, false);
}

// ---- writing ----

void TIdIOHandler::WriteLn(const std::string& text) { Write(text + IdEOL); }

void TIdIOHandler::Write(const std::string& text) {
    if (text.empty()) return;
    WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void TIdIOHandler::WriteBytes(const TIdBytes& bytes) {
    if (bytes.empty()) return;
    if (writeBuffer_ == nullptr) return SendRaw(bytes);
    WriteBytes(bytes.data(), bytes.size());
}

void TIdIOHandler::WriteBytes(const uint8_t* data, size_t size) {
    if (size == 0) return;
    if (writeBuffer_ == nullptr) return SendRaw(TIdBytes(data, data + size));
    Raise<EIdTooMuchDataInBuffer>::IfTrue(size > static_cast<size_t>(INT32_MAX), "Too much data in buffer.");
    writeBuffer_->Write(data, static_cast<int32_t>(size));
    // Sending every full piece keeps the buffer from growing without bound
    // when single writes are larger than the threshold.
    while (writeBufferThreshold_ > 0 && writeBuffer_->Size() >= writeBufferThreshold_)
        FlushWriteBuffer(writeBufferThreshold_);
}

void TIdIOHandler::WriteLines(const TStringList& lines, bool writeCount) {
    OpenWriteBuffer(-1);
    try {
        if (writeCount) WriteInteger(lines.Count());
        for (const std::string& line : lines) WriteLn(line);
    } catch (...) {
        try {
            CloseWriteBuffer();
        } catch (...) {
        }
        throw;
    }
    CloseWriteBuffer();
}

void TIdIOHandler::WriteInteger(int32_t value, bool networkOrder) {
    const auto raw = static_cast<uint32_t>(value);
    TIdBytes bytes(4);
    if (networkOrder)
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(raw >> (24 - 8 * i));
    else
        std::memcpy(bytes.data(), &raw, 4);
    WriteBytes(bytes);
}

void TIdIOHandler::WriteChar(char value) { WriteBytes(TIdBytes{static_cast<uint8_t>(value)}); }

void TIdIOHandler::WriteStream(TStream& stream, int64_t size, bool writeSize) {
    const int64_t position = stream.Position();
    const int64_t streamSize = stream.Size();
    if (size < 0) {
        size = streamSize - position;
    } else if (size == 0) {
        stream.SetPosition(0);
        size = streamSize;
    }
    if (writeSize) WriteInteger(static_cast<int32_t>(size));
    BeginWork(WorkWrite, static_cast<int32_t>(size));
    try {
        while (size > 0) {
            TIdBytes chunk(static_cast<size_t>(std::min<int64_t>(size, std::max(sendBufferSize_, 1))));
            const int64_t read = stream.Read(chunk.data(), static_cast<int64_t>(chunk.size()));
            Raise<EIdNoDataToRead>::IfTrue(read <= 0, "No data to read.");
            chunk.resize(static_cast<size_t>(read));
            WriteBytes(chunk);
            size -= read;
        }
    } catch (...) {
        EndWork(WorkWrite);
        throw;
    }
    EndWork(WorkWrite);
}

int32_t TIdIOHandler::WriteFile(const std::string& fileName) {
    Raise<EIdFileNotFound>::IfFalse(FileExists(fileName), Format("File \"%s\" not found", fileName.c_str()));
    TFileStream stream(SystemFileName(fileName), TFileStream::Mode::Read);
    const int64_t size = stream.Size();
    WriteStream(stream);
    return static_cast<int32_t>(size);
}

void TIdIOHandler::OpenWriteBuffer(int32_t threshold) {
    if (writeBuffer_ != nullptr) {
        ++writeBufferDepth_;
        return;
    }
    writeBuffer_ = std::make_unique<TIdBuffer>();
    writeBufferThreshold_ = threshold;
    writeBufferDepth_ = 1;
}

void TIdIOHandler::CloseWriteBuffer() {
    if (writeBuffer_ == nullptr) return;
    if (--writeBufferDepth_ > 0) return;
    try {
        FlushWriteBuffer();
    } catch (...) {
        writeBuffer_.reset();
        throw;
    }
    writeBuffer_.reset();
}

void TIdIOHandler::FlushWriteBuffer(int32_t count) {
    if (writeBuffer_ == nullptr || writeBuffer_->Size() == 0) return;
    if (count < 0 || count > writeBuffer_->Size()) count = writeBuffer_->Size();
    TIdBytesLoan bytes(flushSpare_);
    writeBuffer_->ExtractToBytes(bytes.Bytes(), count);
    SendRaw(bytes.Bytes());
}

void TIdIOHandler::ClearWriteBuffer() {
    if (writeBuffer_ != nullptr) writeBuffer_->Clear();
}

void TIdIOHandler::CancelWriteBuffer() {
    ClearWriteBuffer();
    writeBufferDepth_ = std::min(writeBufferDepth_, 1);
    CloseWriteBuffer();
}

// ---- reading ----

bool TIdIOHandler::LineTooLong(int32_t terminatorAt, int32_t maxLength) const {
    if (maxLength == 0) return false;
    if (terminatorAt >= 0) return terminatorAt > maxLength;
    return inputBuffer_ != nullptr && inputBuffer_->Size() > maxLength;
}

std::string TIdIOHandler::TakeLine(int32_t terminatorAt, const std::string& terminator) {
    std::string line = inputBuffer_->Extract(terminatorAt);
    inputBuffer_->Remove(static_cast<int32_t>(terminator.size()));
    if (terminator == IdLF && !line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string TIdIOHandler::ReadLn(const std::string& terminator, int32_t timeout, int32_t maxLength) {
    if (maxLength == -1) maxLength = maxLineLength_;
    const std::string term = terminator.empty() ? std::string(IdLF) : terminator;
    const int32_t overlap = static_cast<int32_t>(term.size()) - 1;
    lastLineSplit_ = false;
    lastLineTimedOut_ = false;
    int32_t terminatorAt = -1;
    int32_t searched = 0;
    const uint64_t start = MonotonicMilliseconds();
    do {
        const int32_t size = inputBuffer_ != nullptr ? inputBuffer_->Size() : 0;
        if (size > searched) {
            // A terminator that begins in bytes already searched is still found.
            terminatorAt = inputBuffer_->IndexOf(term, std::max(0, searched - overlap));
            searched = size;
        }
        if (LineTooLong(terminatorAt, maxLength)) {
            Raise<EIdReadLnMaxLineLengthExceeded>::IfTrue(maxLineAction_ == maException, "Max line length exceeded.");
            lastLineSplit_ = true;
            return inputBuffer_->Extract(maxLength);
        }
        if (terminatorAt < 0) {
            CheckDisconnect(true, true);
            lastLineTimedOut_ = FillInputBuffer(true, timeout, timeout == TimeoutDefault) == -1;
            const uint32_t elapsed = static_cast<uint32_t>(MonotonicMilliseconds() - start);
            if (!lastLineTimedOut_ && timeout >= 0 && elapsed >= static_cast<uint32_t>(timeout))
                lastLineTimedOut_ = true;
            if (lastLineTimedOut_) return std::string();
        }
    } while (terminatorAt < 0);
    return TakeLine(terminatorAt, term);
}

std::string TIdIOHandler::ReadLnSplit(bool& wasSplit, const std::string& terminator, int32_t timeout,
                                      int32_t maxLength) {
    const TIdMaxLineAction saved = maxLineAction_;
    if (maxLineAction_ == maException) maxLineAction_ = maSplit;
    try {
        std::string line = ReadLn(terminator, timeout, maxLength);
        maxLineAction_ = saved;
        wasSplit = lastLineSplit_;
        return line;
    } catch (...) {
        maxLineAction_ = saved;
        throw;
    }
}

std::string TIdIOHandler::ReadNonEmptyLine(int32_t maxAttempts) {
    std::string line;
    int32_t attempts = 0;
    do {
        line = Trim(ReadLn());
        ++attempts;
    } while (line.empty() && attempts < maxAttempts);
    return line;
}

void TIdIOHandler::ReadBytes(TIdBytes& buffer, int32_t count, bool append) {
    if (count > 0) {
        while (InputBufferIsEmpty() || inputBuffer_->Size() < count) {
            Raise<EIdException>::IfTrue(inputBuffer_ == nullptr, RSNotConnectedNoDot);
            FillInputBuffer(false, TimeoutDefault, true);
            CheckDisconnect(true, true);
        }
        inputBuffer_->ExtractToBytes(buffer, count, append);
    } else if (count == -1) {
        FillInputBuffer(false, readTimeout_, false);
        CheckDisconnect(true, true);
        if (inputBuffer_ != nullptr) inputBuffer_->ExtractToBytes(buffer, -1, append);
    }
}

std::string TIdIOHandler::ReadString(int32_t count) {
    if (count < 1) return std::string();
    TIdBytes bytes;
    ReadBytes(bytes, count);
    return std::string(bytes.begin(), bytes.end());
}

char TIdIOHandler::ReadChar() { return ReadString(1)[0]; }

int32_t TIdIOHandler::ReadInteger(bool networkOrder) {
    TIdBytes bytes;
    ReadBytes(bytes, 4);
    uint32_t raw = 0;
    if (networkOrder)
        for (uint8_t byte : bytes) raw = (raw << 8) | byte;
    else
        std::memcpy(&raw, bytes.data(), 4);
    return static_cast<int32_t>(raw);
}

int32_t TIdIOHandler::CaptureLinesInto(const std::function<void(const std::string&)>& store,
                                       const std::string& delimiter, bool dotUnstuff) {
    int32_t count = 0;
    for (;;) {
        std::string line = ReadLn();
        if (line == delimiter) return count;
        if (dotUnstuff && line.compare(0, 2, "..") == 0) line.erase(0, 1);
        Raise<EIdMaxCaptureLineExceeded>::IfTrue(maxCapturedLines_ > 0 && count > maxCapturedLines_,
                                                 "Maximum number of line allowed exceeded");
        store(line);
        ++count;
    }
}

int32_t TIdIOHandler::CaptureLines(TStringList& dest, const std::string& delimiter, bool dotUnstuff) {
    return CaptureLinesInto([&dest](const std::string& line) { dest.Add(line); }, delimiter, dotUnstuff);
}

int32_t TIdIOHandler::CaptureLines(TStream& dest, const std::string& delimiter, bool dotUnstuff) {
    return CaptureLinesInto([&dest](const std::string& line) { dest.WriteString(line + IdEOL); }, delimiter,
                            dotUnstuff);
}

std::string TIdIOHandler::ReadAll() {
    std::string result;
    BeginWork(WorkRead);
    try {
        while (Connected()) {
            PollInput(250);
            result += InputBufferAsString();
        }
    } catch (...) {
        EndWork(WorkRead);
        throw;
    }
    EndWork(WorkRead);
    return result;
}

std::string TIdIOHandler::WaitFor(const std::string& text) {
    std::string result;
    while (result.find(text) == std::string::npos) {
        // Waits in slices instead of spinning while nothing arrives.
        PollInput(250);
        CheckDisconnect(true, false);
        result += InputBufferAsString();
    }
    return result;
}

std::string TIdIOHandler::InputBufferAsString() {
    return inputBuffer_ != nullptr ? inputBuffer_->Extract(-1) : std::string();
}

bool TIdIOHandler::InputBufferIsEmpty() const { return inputBuffer_ == nullptr || inputBuffer_->Size() == 0; }
