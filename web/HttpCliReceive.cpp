// The receiving half of THttpCli: cutting reply header lines out of the receive buffer, reading
// the header, and handing the body on (known length, chunked, or ended by the close).

#include <algorithm>
#include <cstring>

#include "text/Text.h"
#include "web/HttpCli.h"
#include "web/HttpReplyParse.h"

namespace {
bool EndsWithChunked(const std::string& transferEncoding) {
  std::string t = Trim(transferEncoding);
  return t.size() >= 7 && t.compare(t.size() - 7, 7, "chunked") == 0;
}
}  // namespace

void THttpCli::SocketDataAvailable(std::uint16_t error) {
  ReceiveAndProcess(error);
}

int THttpCli::ReceiveAndProcess(std::uint16_t error) {
  // Over the bandwidth quota the data waits in the socket (which stays quiet until the next
  // receive) until the bandwidth tick reads it; once the peer has closed, everything is read.
  if (receivePaused_ && !draining_) return 0;
  std::int32_t count =
      socket_->Receive(receiveBuffer_ + receiveLength_, kReceiveMax - receiveLength_);
  Trace(loProtSpecInfo, "Data available. Len=" + std::to_string(count));
  if (!everStarted_) return count;
  if (count <= 0) {
    Trace(loProtSpecInfo, "**data available. Len=" + std::to_string(count));
    return count;
  }
  bandwidthBytes_ += count;
  if (options_.Contains(httpoBandwidthControl) && bandwidthBytes_ > bandwidthQuota_) {
    receivePaused_ = true;
  }
  if (lineOverlong_ && state_ != httpWaitingBody) {
    // The rest of a header line that was too long is dropped up to its line end.
    char* fresh = receiveBuffer_ + receiveLength_;
    char* lf = static_cast<char*>(std::memchr(fresh, '\n', static_cast<std::size_t>(count)));
    if (lf == nullptr) return count;
    count = static_cast<std::int32_t>(fresh + count - lf);
    std::memmove(fresh, lf, static_cast<std::size_t>(count));
    lineOverlong_ = false;
  }
  receiveLength_ += count;
  receiveBuffer_[receiveLength_] = 0;

  std::weak_ptr<char> alive = alive_;
  while (state_ != httpWaitingBody && receiveLength_ > 0) {
    char* lf = static_cast<char*>(
        std::memchr(receiveBuffer_, '\n', static_cast<std::size_t>(receiveLength_)));
    if (lf == nullptr) {
      if (receiveLength_ > static_cast<int>(kHttpMaxHeaderLine)) {
        receiveLength_ = static_cast<int>(kHttpMaxHeaderLine);
        lineOverlong_ = true;
      }
      return count;
    }
    auto rawLength = static_cast<std::size_t>(lf - receiveBuffer_) + 1;
    std::string raw(receiveBuffer_, rawLength);
    std::string line = raw.substr(0, rawLength - 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kHttpMaxHeaderLine) line.resize(kHttpMaxHeaderLine);
    Trace(loProtSpecDump, ">|" + line + "|");
    receiveLength_ -= static_cast<int>(rawLength);
    std::memmove(receiveBuffer_, lf + 1, static_cast<std::size_t>(receiveLength_));
    if (state_ == httpWaitingHeader) {
      if (nextLineHandler_ == LineHandler::Header) {
        ProcessHeaderLine(line, raw);
      } else {
        PostMsg(HttpMsgSetReady);
      }
    } else {
      if (OnDataPush) OnDataPush(this, error);
    }
    if (alive.expired()) return count;
  }
  if (state_ == httpWaitingBody && receiveLength_ > 0) {
    if (requestType_ == httpHEAD) {
      // A reply to HEAD has no body; whatever comes is not this reply's.
      receiveLength_ = 0;
      socket_->AbortConnection();
      return count;
    }
    HandBody();
    if (alive.expired()) return count;
    if (state_ != httpReady && nextLineHandler_ == LineHandler::None && bodyDone_) {
      ReplyComplete();
    }
  }
  return count;
}

void THttpCli::ProcessHeaderLine(const std::string& line, const std::string& raw) {
  std::weak_ptr<char> alive = alive_;
  if (headerLineNumber_ == 0) {
    inHeader_ = true;
    if (OnHeaderBegin) OnHeaderBegin(this);
    if (alive.expired() || state_ != httpWaitingHeader) return;
  }
  if (headerLineNumber_ == -1) headerLineNumber_ = 0;
  ++headerLineNumber_;
  if (headerLineNumber_ > kHttpMaxHeaderLines) {
    BadReply("Reply header too large");
    return;
  }

  if (headerLineNumber_ == 1 && line.size() >= 6 && LowerAscii(line.substr(0, 6)) == "<html>") {
    // No header at all: the reply is an HTML document, ended by the close; the line's end is
    // part of the document.
    if (contentType_.empty()) contentType_ = "text/html";
    ChangeState(httpWaitingBody);
    nextLineHandler_ = LineHandler::Body;
    inHeader_ = false;
    if (OnHeaderEnd) OnHeaderEnd(this);
    if (alive.expired() || state_ != httpWaitingBody) return;
    GetBodyLineNext(raw.data(), static_cast<std::int64_t>(raw.size()));
    return;
  }

  if (line.empty()) {
    EndOfHeader();
    return;
  }
  headerLines_.push_back(line);
  if (headerLineNumber_ == 1) {
    if (!IsHttpStatusLine(line)) {
      if (OnDataPush2) OnDataPush2(this);
    } else {
      THttpStatusLine status;
      if (!ParseHttpStatusLine(line, status)) {
        BadReply("Malformed status line in reply");
        return;
      }
      responseVersion_ = status.version;
      closeReq_ = requestVer_ == "1.0" || responseVersion_ == "1.0";
      Trace(loProtSpecDump, std::string("FCloseReq=") + (closeReq_ ? "1" : "0"));
      statusCode_ = status.code;
      reasonPhrase_ = status.reason;
    }
  } else {
    ProcessFieldLine(line);
  }
  if (alive.expired()) return;
  if (OnHeaderData) OnHeaderData(this);
}

void THttpCli::ProcessFieldLine(const std::string& line) {
  std::string name, value;
  if (!SplitHttpField(line, name, value)) return;
  if (name == "location") {
    LocationField(value);
  } else if (name == "content-length") {
    contentLength_ = ParseContentLength(value);
  } else if (name == "transfer-encoding") {
    transferEncoding_ = LowerAscii(value);
  } else if (name == "content-range") {
    contentRange_ = value;
  } else if (name == "accept-ranges") {
    acceptRanges_ = value;
  } else if (name == "content-type") {
    contentType_ = LowerAscii(value);
  } else if (name == "www-authenticate" || name == "proxy-authenticate") {
    authChallenges_.push_back(value);
  } else if (name == "set-cookie") {
    bool accept = true;
    if (OnCookie) OnCookie(this, value, accept);
  } else if (name == "connection" || name == "proxy-connection") {
    std::string v = LowerAscii(Trim(value));
    if (v == "close") closeReq_ = true;
    if (v == "keep-alive") closeReq_ = false;
  } else if (name == "content-encoding") {
    contentEncoding_ = value;
  }
}

bool THttpCli::ReplyHasBody() const {
  if (requestType_ == httpHEAD) return false;
  if ((statusCode_ >= 100 && statusCode_ < 200) || statusCode_ == 204 || statusCode_ == 304) {
    return false;
  }
  if (EndsWithChunked(transferEncoding_)) return true;
  if (contentLength_ == 0) return false;
  if (contentLength_ == -1) {
    static const int kNoBody[] = {301, 302, 401, 407};
    if (statusCode_ < 200 ||
        std::find(std::begin(kNoBody), std::end(kNoBody), statusCode_) != std::end(kNoBody)) {
      return false;
    }
  }
  return true;
}

void THttpCli::EndOfHeader() {
  Trace(loProtSpecInfo, "End of header");
  if (statusCode_ >= 100 && statusCode_ < 200) {
    // An interim reply: the final one follows on the same connection.
    headerLines_.clear();
    headerLineNumber_ = -1;
    contentLength_ = -1;
    contentType_.clear();
    transferEncoding_.clear();
    contentEncoding_.clear();
    authChallenges_.clear();
    locationPending_ = false;
    statusCode_ = 0;
    return;
  }
  std::weak_ptr<char> alive = alive_;
  inHeader_ = false;
  if (OnHeaderEnd) OnHeaderEnd(this);
  if (alive.expired()) return;
  if (state_ == httpReady) {
    receiveLength_ = 0;
    return;
  }
  if (EndsWithChunked(transferEncoding_)) contentLength_ = -1;
  if (!ReplyHasBody()) {
    nextLineHandler_ = LineHandler::None;
    bodyDone_ = true;
    if (requestType_ == httpHEAD) {
      // Whatever still comes is dropped (and ends the connection).
      receiveLength_ = 0;
      ChangeState(httpWaitingBody);
    } else {
      ChangeState(httpBodyReceived);
    }
    if (alive.expired()) return;
    ReplyComplete();
    return;
  }
  std::string ext;
  std::size_t dot = documentName_.rfind('.');
  if (dot != std::string::npos) ext = LowerAscii(documentName_.substr(dot));
  if ((ext.empty() || ext == ".exe") && contentType_ == "text/html") {
    documentName_ =
        (dot == std::string::npos ? documentName_ : documentName_.substr(0, dot)) + ".htm";
  }
  ChangeState(httpWaitingBody);
  nextLineHandler_ = LineHandler::Body;
  if (alive.expired() || state_ != httpWaitingBody) return;
  if (receiveLength_ > 0) {
    HandBody();
    if (alive.expired()) return;
  }
  if (state_ != httpReady && nextLineHandler_ == LineHandler::None && bodyDone_) ReplyComplete();
}

void THttpCli::HandBody() {
  std::int64_t n = receiveLength_;
  bool chunked = EndsWithChunked(transferEncoding_);
  if (!chunked && contentLength_ >= 0) n = std::min(n, contentLength_ - bodyReceivedCount_);
  if (n <= 0) return;
  std::weak_ptr<char> alive = alive_;
  // The bytes leave the buffer first: a handler may start the next request, which refills it.
  std::string body(receiveBuffer_, static_cast<std::size_t>(n));
  if (chunked) {
    receiveLength_ = 0;
  } else {
    receiveLength_ -= static_cast<int>(n);
    std::memmove(receiveBuffer_, receiveBuffer_ + n, static_cast<std::size_t>(receiveLength_));
  }
  GetBodyLineNext(body.data(), n);
  if (alive.expired()) return;
}

void THttpCli::GetBodyLineNext(const char* data, std::int64_t length) {
  Trace(loProtSpecDump, "GetBodyLineNext begin");
  std::weak_ptr<char> alive = alive_;
  if (bodyCallCount_ == 0) {
    chunk_.Reset();
    Trace(loProtSpecInfo, "DocBegin");
    if (OnDocBegin) OnDocBegin(this);
    if (alive.expired() || state_ != httpWaitingBody) return;
    contentCoding_->PrepareDecoders(contentEncoding_);
    responseStreamStartSize_ = responseStream_ != nullptr ? responseStream_->Size() : 0;
  }
  ++bodyCallCount_;
  Trace(loProtSpecDump, "GetBodyLineNext FBodyDataLen=" + std::to_string(length));
  if (!EndsWithChunked(transferEncoding_)) {
    bodyReceivedCount_ += length;
    WriteBody(data, static_cast<std::size_t>(length));
    if (alive.expired() || state_ != httpWaitingBody) return;
    if (bodyReceivedCount_ == contentLength_) {
      Trace(loProtSpecInfo, "End of document");
      EndDocument();
      contentCoding_->CompleteDecoders();
      if (responseStream_ != nullptr && !contentEncoding_.empty()) {
        Trace(loProtSpecInfo, " content uncompressed from " + std::to_string(contentLength_) +
                                  " bytes to " + std::to_string(responseStream_->Size()) +
                                  " bytes");
      }
      Trace(loProtSpecInfo, "DocEnd");
      if (OnDocEnd) OnDocEnd(this);
    }
  } else {
    chunk_.Feed(data, static_cast<std::size_t>(length), [&](const char* d, std::size_t n) {
      if (alive.expired() || state_ != httpWaitingBody) return;
      bodyReceivedCount_ += static_cast<std::int64_t>(n);
      WriteBody(d, n);
    });
    if (alive.expired() || state_ != httpWaitingBody) return;
    if (chunk_.Failed()) {
      BadReply("Invalid chunk size in reply");
      return;
    }
    if (chunk_.Done()) {
      Trace(loProtSpecInfo, "httpChunkDone, end of document");
      EndDocument();
      contentCoding_->CompleteDecoders();
      Trace(loProtSpecInfo, "DocEnd");
      if (OnDocEnd) OnDocEnd(this);
    }
  }
  if (alive.expired()) return;
  Trace(loProtSpecDump, "GetBodyLineNext end");
}

void THttpCli::WriteBody(const char* data, std::size_t length) {
  while (length > 0) {
    auto piece = static_cast<std::int32_t>(std::min<std::size_t>(length, 1 << 30));
    contentCoding_->WriteData(data, piece);
    data += piece;
    length -= static_cast<std::size_t>(piece);
  }
}

void THttpCli::EndDocument() {
  bodyCallCount_ = 0;
  nextLineHandler_ = LineHandler::None;
  bodyDone_ = true;
  ChangeState(httpBodyReceived);
  if (bandwidthTimerOn_) {
    window_->KillTimer(kBandwidthTimer);
    bandwidthTimerOn_ = false;
  }
}

bool THttpCli::BodyIncomplete() const {
  if (bodyDone_) return false;
  if (state_ == httpWaitingHeader) return true;
  if (state_ != httpWaitingBody) return false;
  if (EndsWithChunked(transferEncoding_)) return true;
  return contentLength_ >= 0 && bodyReceivedCount_ < contentLength_;
}

void THttpCli::ReplyComplete() {
  if (locationPending_) {
    FollowLocation();
  } else if (closeReq_) {
    // The close completes the request.
    CloseLater();
  } else {
    PostMsg(HttpMsgSetReady);
  }
}

void THttpCli::BadReply(const std::string& reason) {
  Trace(loProtSpecInfo, reason);
  FailRequest(404, reason, httperrBadReply);
}

void THttpCli::BandwidthTick() {
  if (!receivePaused_) return;
  receivePaused_ = false;
  bandwidthBytes_ -= bandwidthQuota_;
  if (socket_->State() == wsConnected) ReceiveAndProcess(0);
}
