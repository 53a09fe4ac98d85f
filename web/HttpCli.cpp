#include "web/HttpCli.h"

#include <cmath>
#include <cstdio>

#include "platform/MessagePump.h"
#include "text/Text.h"
#include "web/Url.h"

namespace {

const char* const kStateNames[] = {
    "httpReady",       "httpNotConnected",  "httpConnected",
    "httpDnsLookup",   "httpDnsLookupDone", "httpWaitingHeader",
    "httpWaitingBody", "httpBodyReceived",  "httpWaitingProxyConnect",
    "httpClosing",     "httpAborting"};

const char* const kMethods[] = {"", "GET", "POST", "PUT", "HEAD", ""};

// "Www, dd Mmm yyyy hh:nn:ss" of a date in days since 30 December 1899.
std::string HttpDate(double when) {
  static const char kDays[] = "MonTueWedThuFriSatSun";
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  auto days = static_cast<long long>(std::floor(when));
  long long seconds = std::llround((when - static_cast<double>(days)) * 86400.0);
  if (seconds >= 86400) {
    ++days;
    seconds -= 86400;
  }
  int weekday = static_cast<int>(((days - 2) % 7 + 7) % 7);
  // Civil date of the day count (days from 1970-01-01 = days - 25569).
  long long z = days - 25569 + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long day = doy - (153 * mp + 2) / 5 + 1;
  long long month = mp < 10 ? mp + 3 : mp - 9;
  long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char buf[128];
  std::snprintf(buf, sizeof(buf), "%.3s, %2.2lld %.3s %4.4lld %2.2lld:%2.2lld:%2.2lld",
                kDays + weekday * 3, day, kMonths + (month - 1) * 3, year, seconds / 3600,
                seconds / 60 % 60, seconds % 60);
  return buf;
}

}  // namespace

THttpCli::THttpCli() : socket_(std::make_unique<TWSocket>()) {
  window_ = AllocateSocketWindow(
      [this](unsigned msg, platform::WPARAM w, platform::LPARAM l) { return WndProc(msg, w, l); });
  contentCoding_ = std::make_unique<THttpContCodHandler>(
      [this](const char* data, std::int32_t len) {
        if (responseStream_ != nullptr) responseStream_->Write(data, len);
      },
      [this](const char* data, std::int32_t len) {
        if (OnDocData) OnDocData(this, data, len);
      });
  socket_->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) { SocketSessionClosed(e); };
  socket_->OnDataAvailable = [this](TCustomWSocket*, std::uint16_t e) { SocketDataAvailable(e); };
  socket_->OnSessionConnected = [this](TCustomWSocket*, std::uint16_t e) {
    SocketSessionConnected(e);
  };
  socket_->OnDataSent = [this](TCustomWSocket*, std::uint16_t e) { SocketDataSent(e); };
  socket_->OnDnsLookupDone = [this](TCustomWSocket*, std::uint16_t e) { SocketDnsLookupDone(e); };
  socket_->OnSocksError = [this](TCustomWSocket* s, int e, const std::string& msg) {
    socksErrorText_ = msg;
    if (OnSocksError) OnSocksError(s, e, msg);
  };
  socket_->OnSocksConnected = [this](TCustomWSocket* s, std::uint16_t e) {
    if (OnSocksConnected) OnSocksConnected(s, e);
  };
  socket_->OnError = [this](TCustomWSocket* s) {
    if (connecting_) socketErrorCode_ = s->LastError() != 0 ? s->LastError() : -1;
    if (OnSocketError) OnSocketError(this);
  };
}

THttpCli::~THttpCli() {
  BeginDestroy();
  alive_.reset();
  socket_->OnSessionClosed = nullptr;
  socket_->OnDataAvailable = nullptr;
  socket_->OnSessionConnected = nullptr;
  socket_->OnDataSent = nullptr;
  socket_->OnDnsLookupDone = nullptr;
  socket_->OnSocksError = nullptr;
  socket_->OnSocksConnected = nullptr;
  socket_->OnError = nullptr;
  socket_.reset();
  DeallocateSocketWindow(window_);
}

// ---------------------------------------------------------------------------------------------
// Properties

void THttpCli::SetMultiThreaded(bool v) {
  multiThreaded_ = v;
  socket_->SetMultiThreaded(v);
}

void THttpCli::SetRequestVer(const std::string& v) {
  if (v == requestVer_) return;
  if (v != "1.0" && v != "1.1") throw EHttpException("Insupported HTTP version", httperrVersion);
  requestVer_ = v;
}

THttpCliOptions THttpCli::Options() const {
  THttpCliOptions o = options_;
  o.Exclude(httpoEnableContentCoding).Exclude(httpoUseQuality);
  if (contentCoding_->Enabled()) o.Include(httpoEnableContentCoding);
  if (contentCoding_->UseQuality()) o.Include(httpoUseQuality);
  return o;
}

void THttpCli::SetOptions(THttpCliOptions v) {
  options_ = v;
  contentCoding_->SetEnabled(v.Contains(httpoEnableContentCoding));
  contentCoding_->SetUseQuality(v.Contains(httpoUseQuality));
}

// ---------------------------------------------------------------------------------------------
// Hidden window, trace, state

platform::LRESULT THttpCli::WndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM) {
  bool stale = wParam != requestSerial_;
  try {
    switch (msg) {
      case HttpMsgRequestDone:
        if (!stale) RequestDoneMessage();
        return 0;
      case HttpMsgSetReady:
        if (!stale) ChangeState(httpReady);
        return 0;
      case HttpMsgReconnect:
        if (!stale && requestRunning_) Login();
        return 0;
      case HttpMsgCloseLater:
        if (wParam == connectionSerial_ && socket_->State() != wsClosed) socket_->Close();
        return 0;
      case platform::WM_TIMER:
        if (wParam == kBandwidthTimer) BandwidthTick();
        if (wParam == kDeadlineTimer) DeadlinePassed();
        return 0;
      default:
        return 0;
    }
  } catch (const EHttpException& e) {
    // No exception crosses the event loop: an impossible step ends the request instead.
    FailRequest(404, e.what(), httperrBadReply);
  } catch (const std::exception& e) {
    FailRequest(404, e.what(), httperrBadReply);
  }
  return 0;
}

void THttpCli::PostMsg(unsigned msg) {
  if (window_) window_->PostMessage(msg, requestSerial_, 0);
}

void THttpCli::CloseLater() {
  if (window_) window_->PostMessage(HttpMsgCloseLater, connectionSerial_, 0);
}

bool THttpCli::Tracing(TLogOption level) {
  TQelLogger* logger = socket_->QelLogger();
  return logger != nullptr && logger->LogOptions().Contains(level);
}

void THttpCli::Trace(TLogOption level, const std::string& msg) {
  if (!Tracing(level)) return;
  try {
    socket_->QelLogger()->WriteLog(this, level, msg);
  } catch (...) {
    // A log file that cannot be written does not end the request.
  }
}

void THttpCli::ChangeState(THttpState newState) {
  if (newState == state_) return;
  state_ = newState;
  Trace(loProtSpecInfo,
        std::string("State = ") +
            (state_ < std::size(kStateNames) ? kStateNames[state_] : "INVALID STATE"));
  std::weak_ptr<char> alive = alive_;
  if (OnStateChange) OnStateChange(this);
  if (alive.expired() || state_ != httpReady || newState != httpReady) return;
  if (!requestRunning_) return;
  if (!AuthenticationDecision()) PostMsg(HttpMsgRequestDone);
}

void THttpCli::RequestDoneMessage() {
  if (!requestRunning_) return;
  requestRunning_ = false;
  if (window_) window_->KillTimer(kDeadlineTimer);
  Trace(loProtSpecInfo, "RequestDone");
  if (OnRequestDone) OnRequestDone(this, requestType_, doneErrorCode_);
}

// ---------------------------------------------------------------------------------------------
// Starting a request

void THttpCli::GetAndWait() {
  locationChangeCurCount_ = 0;
  RequestAndWait(httpGET);
}

void THttpCli::RequestAndWait(THttpRequest rq) {
  StartRequest(rq);
  std::weak_ptr<char> alive = alive_;
  // The request's own end, not the ready state: an authentication retry passes through it.
  while (requestRunning_) {
    if (multiThreaded_) {
      platform::WaitMessage(10);
    } else {
      platform::WaitMessage(1000);
      if (alive.expired()) return;
      if (platform::Terminated()) {
        CancelRequest();
        break;
      }
    }
    if (alive.expired()) return;
  }
  if (statusCode_ >= 400 && statusCode_ != 401 && statusCode_ != 407) {
    throw EHttpException(reasonPhrase_, statusCode_);
  }
}

void THttpCli::ResetReplyState(bool keepLocation) {
  headerLines_.clear();
  doneErrorCode_ = 0;
  if (!keepLocation) docPath_.clear();
  statusCode_ = 0;
  bodyReceivedCount_ = 0;
  bodySentCount_ = 0;
  headerLineNumber_ = 0;
  bodyCallCount_ = 0;
  contentLength_ = -1;
  contentType_.clear();
  transferEncoding_.clear();
  contentEncoding_.clear();
  contentRange_.clear();
  bodySending_ = false;
  bodyDone_ = false;
  inHeader_ = false;
  if (!keepLocation) location_ = url_;
  authChallenges_.clear();
  closeReq_ = requestVer_ == "1.0";
  lineOverlong_ = false;
}

void THttpCli::ComputeDocumentName() {
  std::string path = docPath_.substr(0, docPath_.find('?'));
  if (path.empty() || path.back() == '/') {
    documentName_ = "document.htm";
    return;
  }
  std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  documentName_ = name.substr(0, 255);
}

void THttpCli::SplitTarget() {
  std::string proto, user, pass, host, port, path = requestPath_;
  SplitUrl(url_, proto, user, pass, host, port, path);
  targetHost_ = host;
  targetPort_ = port.empty() ? "80" : port;
  if (proxy_.empty()) {
    requestPath_ = path;
    docPath_ = path;
  } else {
    requestPath_ =
        (proto.empty() ? "http" : proto) + "://" + host + (port.empty() ? "" : ":" + port) + path;
    docPath_ = path;
  }
  if (!user.empty()) currentUser_ = user;
  if (!pass.empty()) currentPassword_ = pass;
  protocol_ = proto.empty() ? "http" : proto;
  if (requestPath_.empty()) requestPath_ = "/";
  ComputeDocumentName();
  if (proxy_.empty()) {
    connectHost_ = targetHost_;
    connectPort_ = targetPort_;
  } else {
    std::string pproto, puser, ppass, phost, pport, ppath;
    SplitUrl(proxy_, pproto, puser, ppass, phost, pport, ppath);
    connectHost_ = phost;
    connectPort_ = pport.empty() ? proxyPort_ : pport;
  }
}

void THttpCli::StartRequest(THttpRequest rq) {
  if (rq != httpCLOSE && (state_ != httpReady || requestRunning_)) {
    throw EHttpException("HTTP component " + Name() + " is busy", httperrBusy);
  }
  if ((rq == httpPOST || rq == httpPUT) && requestBodyStream_ == nullptr) {
    throw EHttpException("HTTP component has nothing to post or put", httperrNoData);
  }
  everStarted_ = true;
  ++requestSerial_;
  socket_->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) { SocketSessionClosed(e); };
  if (rq == httpCLOSE) {
    statusCode_ = 200;
    reasonPhrase_ = "OK";
    requestType_ = rq;
    requestRunning_ = true;
    ChangeState(httpClosing);
    if (socket_->State() == wsClosed) {
      PostMsg(HttpMsgSetReady);
    } else {
      CloseLater();
    }
    return;
  }
  requestType_ = rq;
  ResetReplyState();
  currentUser_ = username_;
  currentPassword_ = password_;
  connectionValue_ = connection_;
  proxyConnectionValue_ = proxyConnection_;
  receiveLength_ = 0;
  SplitTarget();
  requestRunning_ = true;
  if (timeout_ > 0 && window_) window_->SetTimer(kDeadlineTimer, static_cast<unsigned>(timeout_));
  authNtlmState_ = proxyAuthNtlmState_ = 0;
  authBasicState_ = proxyAuthBasicState_ = 0;
  PresetAuthentication();
  if (socket_->State() == wsConnected) {
    if (SameConnection() && connected_) {
      SocketSessionConnected(0);
      return;
    }
    socket_->AbortConnection();
  }
  ChangeState(httpNotConnected);
  Login();
}

bool THttpCli::SameConnection() const {
  return connectHost_ == connectedHost_ && connectPort_ == connectedPort_ &&
         protocol_ == connectedProtocol_;
}

// ---------------------------------------------------------------------------------------------
// Connecting

void THttpCli::Login() {
  Trace(loProtSpecInfo, "Login " + connectHost_);
  socket_->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) { SocketSessionClosed(e); };
  if (socket_->State() == wsConnected) {
    SocketSessionConnected(0);
    return;
  }
  dnsResult_.clear();
  ChangeState(httpDnsLookup);
  socket_->SetLocalAddr(localAddr_);
  if (connectHost_.empty()) {
    FailRequest(404, "can't resolve hostname to IP address", 0);
    return;
  }
  try {
    socket_->DnsLookup(connectHost_);
  } catch (const std::exception& e) {
    statusCode_ = 404;
    reasonPhrase_ = e.what();
    ChangeState(httpReady);
  }
}

void THttpCli::SocketDnsLookupDone(std::uint16_t error) {
  if (state_ != httpDnsLookup) return;
  if (error != 0) {
    doneErrorCode_ = error;
    statusCode_ = 404;
    reasonPhrase_ = "can't resolve hostname to IP address";
    CloseHandling(error);
    return;
  }
  dnsResult_ = socket_->DnsResult();
  ChangeState(httpDnsLookupDone);
  ConnectAfterLookup();
}

void THttpCli::ConnectAfterLookup() {
  socket_->SetAddr(dnsResult_);
  socket_->SetLocalAddr(localAddr_);
  socket_->SetPort(connectPort_);
  socket_->SetProto("tcp");
  socket_->SetSocksServer(socksServer_);
  if (!socksLevel_.empty()) socket_->SetSocksLevel(socksLevel_);
  socket_->SetSocksPort(socksPort_);
  socket_->SetSocksUsercode(socksUsercode_);
  socket_->SetSocksPassword(socksPassword_);
  socket_->SetSocksAuthentication(socksAuthentication_);
  connectedHost_ = connectHost_;
  connectedPort_ = connectPort_;
  connectedProtocol_ = protocol_;
  if (protocol_ != "http") {
    doneErrorCode_ = static_cast<std::uint16_t>(socket_->LastError());
    statusCode_ = 501;
    reasonPhrase_ = "Protocol \"" + protocol_ + "\" not implemented";
    socket_->Close();
    CloseHandling(doneErrorCode_);
    return;
  }
  Trace(loProtSpecInfo, "connect to " + dnsResult_ + "/" + connectPort_);
  socksErrorText_.clear();
  socketErrorCode_ = 0;
  connecting_ = true;
  ++connectionSerial_;
  std::weak_ptr<char> alive = alive_;
  try {
    socket_->Connect();
  } catch (const std::exception&) {
    socketErrorCode_ = socket_->LastError() != 0 ? socket_->LastError() : -1;
  }
  if (alive.expired()) return;
  connecting_ = false;
  if (socketErrorCode_ == 0) return;
  // The socket reported the failure through its error event and is closed again.
  int err = socketErrorCode_ > 0 ? socketErrorCode_ : 0;
  doneErrorCode_ = static_cast<std::uint16_t>(err);
  statusCode_ = 404;
  reasonPhrase_ =
      "can't connect: " + WinsockErrorText(err) + " (Error #" + std::to_string(err) + ")";
  if (socket_->State() != wsClosed) socket_->Close();
  CloseHandling(doneErrorCode_);
}

void THttpCli::SocketSessionConnected(std::uint16_t error) {
  Trace(loProtSpecInfo, "SessionConnected");
  if (error != 0) {
    doneErrorCode_ = error;
    statusCode_ = 404;
    std::string text = !socksErrorText_.empty() ? socksErrorText_ : WinsockErrorText(error);
    reasonPhrase_ = text + " (Error #" + std::to_string(error) + ")";
    if (OnSessionConnected) OnSessionConnected(this);
    return;  // the socket closes and reports it, which ends the request
  }
  locationPending_ = false;
  connected_ = true;
  std::weak_ptr<char> alive = alive_;
  ChangeState(httpConnected);
  if (OnSessionConnected) OnSessionConnected(this);
  if (alive.expired() || state_ != httpConnected) return;
  nextLineHandler_ = LineHandler::Header;
  ChangeState(httpWaitingHeader);
  try {
    SendRequest(kMethods[requestType_], requestVer_);
    if ((requestType_ == httpPOST || requestType_ == httpPUT) && authNtlmState_ != 1 &&
        proxyAuthNtlmState_ != 1) {
      if (OnSendBegin) OnSendBegin(this);
      bodySending_ = true;
      SocketDataSent(0);
    }
  } catch (const std::exception&) {
    socket_->Close();
  }
}

// ---------------------------------------------------------------------------------------------
// Sending the request

std::vector<std::string> THttpCli::BuildHeaderLines(const std::string& method,
                                                    const std::string& version) {
  std::vector<std::string> lines;
  auto add = [&](const std::string& prefix, const std::string& value) {
    if (!value.empty()) lines.push_back(prefix + value);
  };
  bool upload = requestType_ == httpPOST || requestType_ == httpPUT;
  lines.push_back(method + " " + requestPath_ + " HTTP/" + version);
  add("From: ", sender_);
  add("Accept: ", accept_);
  add("Referer: ", reference_);
  add("Connection: ", connectionValue_);
  add("Accept-Language: ", acceptLanguage_);
  if (requestType_ != httpHEAD) add("Accept-Encoding: ", contentCoding_->HeaderValue());
  if (upload) add("Content-Type: ", contentTypePost_);
  add("User-Agent: ", agent_);
  lines.push_back("Host: " + targetHost_ +
                  (!targetPort_.empty() && targetPort_ != "80" ? ":" + targetPort_ : ""));
  if (noCache_) lines.push_back("Pragma: no-cache");
  add("Proxy-Connection: ", proxyConnectionValue_);
  if (upload) {
    std::int64_t length = 0;
    if (authNtlmState_ != 1 && proxyAuthNtlmState_ != 1) {
      length = requestBodyStream_->Size() - requestBodyStream_->Position();
    }
    lines.push_back("Content-Length: " + std::to_string(length));
  }
  if (modifiedSince_ != 0)
    lines.push_back("If-Modified-Since: " + HttpDate(modifiedSince_) + " GMT");
  AuthorizationLines(lines);
  add("Cookie: ", cookie_);
  if (!contentRangeBegin_.empty() || !contentRangeEnd_.empty()) {
    lines.push_back("Range: bytes=" + contentRangeBegin_ + "-" + contentRangeEnd_);
    contentRangeBegin_.clear();
    contentRangeEnd_.clear();
  }
  return lines;
}

void THttpCli::SendRequest(const std::string& method, const std::string& version) {
  if (options_.Contains(httpoBandwidthControl)) {
    window_->KillTimer(kBandwidthTimer);
    window_->SetTimer(kBandwidthTimer, static_cast<unsigned>(std::max(bandwidthSampling_, 1)));
    bandwidthTimerOn_ = true;
    bandwidthQuota_ = static_cast<std::int64_t>(bandwidthLimit_) * bandwidthSampling_ / 1000;
    receivePaused_ = false;
    socket_->SetComponentOptions(socket_->ComponentOptions().Include(wsoNoReceiveLoop));
  }
  bandwidthBytes_ = 0;
  std::weak_ptr<char> alive = alive_;
  if (OnRequestHeaderBegin) OnRequestHeaderBegin(this);
  if (alive.expired()) return;
  std::vector<std::string> lines = BuildHeaderLines(method, version);
  acceptRanges_.clear();
  if (Tracing(loProtSpecInfo)) {
    std::string text = std::to_string(lines.size()) + " header lines to send\r\n";
    for (const std::string& l : lines) text += l + "\r\n";
    Trace(loProtSpecInfo, text);
  }
  if (OnBeforeHeaderSend) OnBeforeHeaderSend(this, method, lines);
  std::string header;
  for (std::string line : lines) {
    if (OnCommand) OnCommand(this, line);
    if (!line.empty()) header += line;
    header += "\r\n";
  }
  if (OnRequestHeaderEnd) OnRequestHeaderEnd(this);
  if (alive.expired()) return;
  header += "\r\n";
  socket_->AppendToSendBuffer(header.data(), static_cast<std::int32_t>(header.size()));
  socket_->Send(nullptr, 0);
  Trace(loProtSpecInfo, "SendRequest Done");
}

void THttpCli::SocketDataSent(std::uint16_t) {
  if (!bodySending_ || requestBodyStream_ == nullptr) return;
  char buffer[kSendPiece];
  std::int32_t n = requestBodyStream_->Read(buffer, kSendPiece);
  if (n > 0) {
    bodySentCount_ += n;
    if (OnSendData) OnSendData(this, buffer, n);
    socket_->Send(buffer, n);
  } else {
    bodySending_ = false;
    if (OnSendEnd) OnSendEnd(this);
  }
}

// ---------------------------------------------------------------------------------------------
// Ending

void THttpCli::SocketSessionClosed(std::uint16_t error) {
  Trace(loProtSpecInfo, "SessionClosed Error: " + std::to_string(error));
  if (receivePaused_ && socket_->State() == wsConnected) {
    // Data held back by the bandwidth limit is still in the socket: it belongs to the reply.
    std::weak_ptr<char> alive = alive_;
    draining_ = true;
    while (socket_->State() == wsConnected && ReceiveAndProcess(0) > 0) {
      if (alive.expired()) return;
    }
    draining_ = false;
  }
  receivePaused_ = false;
  CloseHandling(error);
}

void THttpCli::CloseHandling(std::uint16_t error) {
  if (error != 0) doneErrorCode_ = error;
  connected_ = false;
  connectedHost_.clear();
  connectedPort_.clear();
  connectedProtocol_.clear();
  if (bandwidthTimerOn_) {
    window_->KillTimer(kBandwidthTimer);
    bandwidthTimerOn_ = false;
  }
  std::weak_ptr<char> alive = alive_;
  if (inHeader_) {
    inHeader_ = false;
    if (OnHeaderEnd) OnHeaderEnd(this);
    if (alive.expired()) return;
  } else if (bodyCallCount_ > 0) {
    if (!BodyIncomplete()) contentCoding_->CompleteDecoders();
    if (OnDocEnd) OnDocEnd(this);
    if (alive.expired()) return;
  }
  bool reading = state_ == httpWaitingHeader || state_ == httpWaitingBody;
  if (reading && BodyIncomplete()) {
    // The peer went away in the middle of the reply: what arrived is not the reply.
    locationPending_ = false;
    if (doneErrorCode_ == 0) doneErrorCode_ = httperrIncomplete;
    statusCode_ = 404;
    reasonPhrase_ = "Connection closed before the reply was complete";
  }
  nextLineHandler_ = LineHandler::None;
  if (locationPending_ && state_ != httpAborting) {
    RelocationSessionClosed(error);
    return;
  }
  if (OnSessionClosed) OnSessionClosed(this);
  if (alive.expired()) return;
  if (state_ != httpReady) PostMsg(HttpMsgSetReady);
}

void THttpCli::FailRequest(int status, const std::string& reason, std::uint16_t error) {
  statusCode_ = status;
  reasonPhrase_ = reason;
  doneErrorCode_ = error;
  locationPending_ = false;
  nextLineHandler_ = LineHandler::None;
  inHeader_ = false;
  authNtlmState_ = proxyAuthNtlmState_ = 0;
  authBasicState_ = proxyAuthBasicState_ = 0;
  if (socket_->State() != wsClosed) {
    socket_->OnSessionClosed = nullptr;
    socket_->AbortConnection();
  }
  if (state_ != httpReady) PostMsg(HttpMsgSetReady);
}

void THttpCli::DeadlinePassed() {
  window_->KillTimer(kDeadlineTimer);
  if (!requestRunning_) return;
  Trace(loProtSpecInfo, "Request timed out");
  std::weak_ptr<char> alive = alive_;
  ChangeState(httpAborting);
  if (alive.expired()) return;
  try {
    socket_->CancelHostLookup();
  } catch (...) {
  }
  FailRequest(404, "Request timed out", httperrTimedOut);
}

void THttpCli::CancelRequest() {
  if (state_ == httpReady && !requestRunning_) {
    state_ = httpAborting;
    if (socket_->State() != wsClosed) socket_->AbortConnection();
    statusCode_ = 200;
    reasonPhrase_ = "OK";
    doneErrorCode_ = 0;
    state_ = httpReady;
    if (OnStateChange) OnStateChange(this);
    if (OnRequestDone) OnRequestDone(this, requestType_, doneErrorCode_);
    return;
  }
  bool lookup = state_ == httpDnsLookup;
  ChangeState(httpAborting);
  if (lookup) {
    try {
      socket_->CancelHostLookup();
    } catch (...) {
    }
  }
  statusCode_ = 404;
  reasonPhrase_ = "Connection aborted on request";
  doneErrorCode_ = httperrAborted;
  locationPending_ = false;
  authNtlmState_ = proxyAuthNtlmState_ = 0;
  authBasicState_ = proxyAuthBasicState_ = 0;
  std::weak_ptr<char> alive = alive_;
  if (lookup || socket_->State() == wsClosed) {
    CloseHandling(httperrAborted);
  } else {
    socket_->Close();
  }
  if (alive.expired()) return;
  ChangeState(httpReady);
}

void THttpCli::RewindStreams() {
  if (responseStream_ != nullptr && responseStream_->Size() != responseStreamStartSize_) {
    responseStream_->SetSize(responseStreamStartSize_);
    responseStream_->Seek(responseStreamStartSize_);
  }
  if (requestBodyStream_ != nullptr && bodySentCount_ > 0) {
    requestBodyStream_->Seek(requestBodyStream_->Position() - bodySentCount_);
  }
}
