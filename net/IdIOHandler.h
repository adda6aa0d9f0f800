// The buffered, line-oriented byte channel under the protocol clients. The
// transport (opening, filling the input buffer, the disconnect check and
// the raw send) comes from the socket handler and its TLS descendant.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/Stream.h"
#include "core/StringList.h"
#include "net/IdBuffer.h"
#include "net/IdComponent.h"
#include "net/IdConnectionIntercept.h"
#include "net/IdStack.h"

enum TIdMaxLineAction : int32_t { maException = 0, maSplit = 1 };

inline constexpr int32_t IdMaxLineLengthDefault = 16384;
inline constexpr int32_t IdDefaultBufferSize = 32768;
inline constexpr const char* IdLF = "\n";
inline constexpr const char* IdEOL = "\r\n";

class TIdIOHandler;
using TIdIOHandlerOpenHook = std::function<void(TIdIOHandler& handler)>;

class TIdIOHandler : public TIdComponent {
public:
    explicit TIdIOHandler(TComponent* owner = nullptr);
    ~TIdIOHandler() override;

    // Lifecycle.
    virtual void Open();
    virtual void Close();
    virtual bool Connected();

    // Writing. With a write buffer open every write collects there.
    void WriteLn(const std::string& text = std::string());
    void Write(const std::string& text);
    void WriteBytes(const TIdBytes& bytes);
    void WriteBytes(const uint8_t* data, size_t size);
    // The whole list leaves in one send.
    void WriteLines(const TStringList& lines, bool writeCount = false);
    void WriteInteger(int32_t value, bool networkOrder = true);
    void WriteChar(char value);
    // size < 0: from the position to the end; 0: the whole stream from the
    // start; > 0: that many bytes from the position.
    void WriteStream(TStream& stream, int64_t size = 0, bool writeSize = false);
    int32_t WriteFile(const std::string& fileName);

    // threshold > 0 sends automatically in pieces of that size once that
    // many bytes collected. Opening again while open nests: the outer
    // buffer and its threshold stay, and only the outermost close sends.
    void OpenWriteBuffer(int32_t threshold = -1);
    void CloseWriteBuffer();
    void FlushWriteBuffer(int32_t count = -1);
    void ClearWriteBuffer();
    void CancelWriteBuffer();
    bool WriteBufferOpen() const { return writeBuffer_ != nullptr; }

    // Reading.
    std::string ReadLn(const std::string& terminator = IdLF, int32_t timeout = TimeoutDefault,
                       int32_t maxLength = -1);
    // ReadLn that splits an over-long line even under maException.
    std::string ReadLnSplit(bool& wasSplit, const std::string& terminator = IdLF, int32_t timeout = TimeoutDefault,
                            int32_t maxLength = -1);
    // Skips lines that are empty once trimmed; answers the next one trimmed.
    std::string ReadNonEmptyLine(int32_t maxAttempts);
    // count > 0: exactly that many bytes; -1: whatever one fill brings.
    void ReadBytes(TIdBytes& buffer, int32_t count, bool append = true);
    std::string ReadString(int32_t count);
    char ReadChar();
    int32_t ReadInteger(bool networkOrder = true);
    // Lines up to the delimiter line; answers the number stored.
    int32_t CaptureLines(TStringList& dest, const std::string& delimiter = ".", bool dotUnstuff = true);
    int32_t CaptureLines(TStream& dest, const std::string& delimiter = ".", bool dotUnstuff = true);
    std::string ReadAll();
    std::string WaitFor(const std::string& text);
    std::string InputBufferAsString();
    bool InputBufferIsEmpty() const;

    // Transport.
    virtual int32_t FillInputBuffer(bool raiseIfDisconnected, int32_t timeout, bool raiseOnTimeout) = 0;
    virtual void CheckDisconnect(bool raise, bool ignoreBuffer) = 0;
    virtual bool WaitReadable(int32_t timeout);
    void PollInput(int32_t timeout);

    // Properties.
    bool ClosedByPeer() const { return closedByPeer_; }
    int32_t ConnectTimeout() const { return connectTimeout_; }
    void SetConnectTimeout(int32_t value) { connectTimeout_ = value; }
    virtual std::string Destination() const { return destination_; }
    virtual void SetDestination(const std::string& value) { destination_ = value; }
    const std::string& Host() const { return host_; }
    void SetHost(const std::string& value) { host_ = value; }
    int32_t Port() const { return port_; }
    void SetPort(int32_t value) { port_ = value; }
    TIdBuffer* InputBuffer() const { return inputBuffer_.get(); }
    int32_t MaxCapturedLines() const { return maxCapturedLines_; }
    void SetMaxCapturedLines(int32_t value) { maxCapturedLines_ = value; }
    TIdMaxLineAction MaxLineAction() const { return maxLineAction_; }
    void SetMaxLineAction(TIdMaxLineAction value) { maxLineAction_ = value; }
    int32_t MaxLineLength() const { return maxLineLength_; }
    void SetMaxLineLength(int32_t value) { maxLineLength_ = value; }
    bool IsOpen() const { return isOpen_; }
    bool LastLineSplit() const { return lastLineSplit_; }
    bool LastLineTimedOut() const { return lastLineTimedOut_; }
    int32_t ReadTimeout() const { return readTimeout_; }
    void SetReadTimeout(int32_t value) { readTimeout_ = value; }
    int32_t RecvBufferSize() const { return recvBufferSize_; }
    void SetRecvBufferSize(int32_t value) { recvBufferSize_ = value; }
    int32_t SendBufferSize() const { return sendBufferSize_; }
    void SetSendBufferSize(int32_t value) { sendBufferSize_ = value; }
    // Sees every byte of the connection; cleared when it is destroyed.
    TIdConnectionIntercept* Intercept() const { return intercept_; }
    void SetIntercept(TIdConnectionIntercept* value);

    // Process-wide: called at the start of every Open, before the transport
    // connects, so that a front end can watch connections made by code it
    // does not control (attach an intercept, listen to TLS status). Empty
    // by default.
    static void SetOpenHook(TIdIOHandlerOpenHook hook);

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // What the intercept makes of bytes to send: `bytes` itself without
    // one, else the intercept's version of them, kept in `changed`.
    const TIdBytes& InterceptSend(const TIdBytes& bytes, TIdBytes& changed);
    // The spare for `changed` (see TIdBytesLoan).
    TIdBytes& InterceptSpare() { return interceptSpare_; }
    void InterceptReceive(TIdBytes& bytes);
    // Sends every byte or raises.
    virtual void SendRaw(const TIdBytes& bytes) = 0;
    void SetClosedByPeer(bool value) { closedByPeer_ = value; }
    // True once Open ran at least once.
    bool WasOpened() const { return receiveMarker_ != nullptr; }
    // The base half of Connected: no socket knowledge.
    bool BaseConnected();

private:
    bool LineTooLong(int32_t terminatorAt, int32_t maxLength) const;
    std::string TakeLine(int32_t terminatorAt, const std::string& terminator);
    int32_t CaptureLinesInto(const std::function<void(const std::string&)>& store, const std::string& delimiter,
                             bool dotUnstuff);

    bool closedByPeer_ = false;
    int32_t connectTimeout_ = 0;
    std::string destination_;
    std::string host_;
    std::unique_ptr<TIdBuffer> inputBuffer_;
    int32_t maxCapturedLines_ = -1;
    TIdMaxLineAction maxLineAction_ = maException;
    int32_t maxLineLength_ = IdMaxLineLengthDefault;
    bool isOpen_ = false;
    int32_t port_ = 0;
    bool lastLineSplit_ = false;
    bool lastLineTimedOut_ = false;
    int32_t readTimeout_ = 0;
    std::unique_ptr<TIdBuffer> receiveMarker_;
    int32_t recvBufferSize_ = IdDefaultBufferSize;
    int32_t sendBufferSize_ = IdDefaultBufferSize;
    std::unique_ptr<TIdBuffer> writeBuffer_;
    int32_t writeBufferThreshold_ = -1;
    int32_t writeBufferDepth_ = 0;
    TIdBytes flushSpare_;
    TIdBytes interceptSpare_;
    TIdConnectionIntercept* intercept_ = nullptr;
};
