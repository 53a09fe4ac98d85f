#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/MessageWindow.h"
#include "sockets/WSocket.h"
#include "web/HttpChunkDecoder.h"
#include "web/HttpContCod.h"
#include "web/Ntlm.h"
#include "web/Stream.h"

// The HTTP/1.0 and 1.1 client: one request at a time over its own TWSocket, driven by a state
// machine on the thread that created it. StartRequest begins a request and OnRequestDone reports
// its end; RequestAndWait / GetAndWait do the same and return when the request has ended, while
// the thread's other events keep running.
//
// Outcomes: StatusCode and ReasonPhrase hold the reply's status, or a local outcome: 404 when the
// host cannot be resolved or reached, the connection breaks before the reply is complete, the
// reply is malformed or the deadline (Timeout) passes; 501 for a protocol other than "http".
// DoneErrorCode carries the socket error where there is one. EHttpException is raised only for
// misuse (busy, nothing to post, unsupported version, an impossible authentication step) and by
// the waiting requests for a final status of 400 or more other than 401 and 407.
//
// A 401 or 407 is answered by Basic or NTLM authentication when credentials are set; a
// "Location" field is followed (up to LocationChangeMaxCount times in a row) when
// FollowRelocation is set. Both send the request again before OnRequestDone fires, once.

enum THttpState : std::uint8_t {
  httpReady,
  httpNotConnected,
  httpConnected,
  httpDnsLookup,
  httpDnsLookupDone,
  httpWaitingHeader,
  httpWaitingBody,
  httpBodyReceived,
  httpWaitingProxyConnect,
  httpClosing,
  httpAborting
};

enum THttpRequest : std::uint8_t { httpNone, httpGET, httpPOST, httpPUT, httpHEAD, httpCLOSE };

enum THttpCliOption {
  httpoNoBasicAuth,
  httpoNoNTLMAuth,
  httpoBandwidthControl,
  httpoEnableContentCoding,
  httpoUseQuality
};
using THttpCliOptions = TSet<THttpCliOption>;

// The kinds of authentication: none, Basic, NTLM.
enum THttpAuthKind : std::uint8_t { httpAuthNone, httpAuthBasic, httpAuthNtlm };

class EHttpException : public std::runtime_error {
 public:
  EHttpException(const std::string& msg, int errorCode)
      : std::runtime_error(msg), errorCode_(errorCode) {}
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

// Codes of EHttpException other than HTTP statuses.
constexpr int httperrBusy = 1;
constexpr int httperrNoData = 2;
constexpr int httperrVersion = 5;
constexpr int httperrAuthState = 6;

// DoneErrorCode values of the local failures that are not socket errors.
constexpr std::uint16_t httperrAborted = 3;
constexpr std::uint16_t httperrTimedOut = 10060;    // the deadline passed
constexpr std::uint16_t httperrIncomplete = 10054;  // closed before the reply was complete
constexpr std::uint16_t httperrBadReply = 20101;    // a reply that breaks the protocol

// Messages of the client's own hidden window.
constexpr unsigned HttpMsgRequestDone = platform::WM_USER + 1;
constexpr unsigned HttpMsgSetReady = platform::WM_USER + 2;
constexpr unsigned HttpMsgReconnect = platform::WM_USER + 3;
constexpr unsigned HttpMsgCloseLater = platform::WM_USER + 4;

class THttpCli : public TComponent {
 public:
  using TNotifyEvent = std::function<void(THttpCli* sender)>;
  using TBeforeHeaderSendEvent = std::function<void(THttpCli* sender, const std::string& method,
                                                    std::vector<std::string>& headers)>;
  using TOnCommand = std::function<void(THttpCli* sender, std::string& line)>;
  using TDocDataEvent = std::function<void(THttpCli* sender, const void* buffer, int length)>;
  using THttpRequestDone =
      std::function<void(THttpCli* sender, THttpRequest rqType, std::uint16_t errCode)>;
  using TLocationChangeExceeded =
      std::function<void(THttpCli* sender, int relocationCount, bool& allowMoreRelocations)>;
  using TCookieRcvdEvent =
      std::function<void(THttpCli* sender, const std::string& data, bool& accept)>;
  using TDataPush = std::function<void(THttpCli* sender, std::uint16_t errCode)>;
  using TSocksConnected = std::function<void(TCustomWSocket* sender, std::uint16_t errCode)>;
  using TSocksErrorEvent =
      std::function<void(TCustomWSocket* sender, int error, const std::string& msg)>;

  THttpCli();
  ~THttpCli() override;

  // --- Properties -------------------------------------------------------------------------
  const std::string& URL() const { return url_; }
  void SetURL(const std::string& v) { url_ = v; }
  const std::string& LocalAddr() const { return localAddr_; }
  void SetLocalAddr(const std::string& v) { localAddr_ = v; }
  // Host, optionally ":" and a port; empty: direct connection.
  const std::string& Proxy() const { return proxy_; }
  void SetProxy(const std::string& v) { proxy_ = v; }
  const std::string& ProxyPort() const { return proxyPort_; }
  void SetProxyPort(const std::string& v) { proxyPort_ = v; }
  const std::string& Sender() const { return sender_; }
  void SetSender(const std::string& v) { sender_ = v; }
  const std::string& Agent() const { return agent_; }
  void SetAgent(const std::string& v) { agent_ = v; }
  const std::string& Accept() const { return accept_; }
  void SetAccept(const std::string& v) { accept_ = v; }
  const std::string& AcceptLanguage() const { return acceptLanguage_; }
  void SetAcceptLanguage(const std::string& v) { acceptLanguage_ = v; }
  const std::string& Reference() const { return reference_; }
  void SetReference(const std::string& v) { reference_ = v; }
  const std::string& Connection() const { return connection_; }
  void SetConnection(const std::string& v) { connection_ = v; }
  const std::string& ProxyConnection() const { return proxyConnection_; }
  void SetProxyConnection(const std::string& v) { proxyConnection_ = v; }
  const std::string& Username() const { return username_; }
  void SetUsername(const std::string& v) { username_ = v; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& v) { password_ = v; }
  const std::string& ProxyUsername() const { return proxyUsername_; }
  void SetProxyUsername(const std::string& v) { proxyUsername_ = v; }
  const std::string& ProxyPassword() const { return proxyPassword_; }
  void SetProxyPassword(const std::string& v) { proxyPassword_ = v; }
  bool NoCache() const { return noCache_; }
  void SetNoCache(bool v) { noCache_ = v; }
  // A date and time in days since 30 December 1899; 0 sends no "If-Modified-Since".
  double ModifiedSince() const { return modifiedSince_; }
  void SetModifiedSince(double v) { modifiedSince_ = v; }
  const std::string& Cookie() const { return cookie_; }
  void SetCookie(const std::string& v) { cookie_ = v; }
  const std::string& ContentTypePost() const { return contentTypePost_; }
  void SetContentTypePost(const std::string& v) { contentTypePost_ = v; }
  // The next request asks for this byte range; both are cleared once sent.
  const std::string& ContentRangeBegin() const { return contentRangeBegin_; }
  void SetContentRangeBegin(const std::string& v) { contentRangeBegin_ = v; }
  const std::string& ContentRangeEnd() const { return contentRangeEnd_; }
  void SetContentRangeEnd(const std::string& v) { contentRangeEnd_ = v; }
  // The last reply's "Content-Range" value (it never becomes part of a request).
  const std::string& ContentRange() const { return contentRange_; }
  const std::string& AcceptRanges() const { return acceptRanges_; }
  bool MultiThreaded() const { return multiThreaded_; }
  void SetMultiThreaded(bool v);
  const std::string& RequestVer() const { return requestVer_; }
  // "1.0" or "1.1"; anything else raises EHttpException "Insupported HTTP version", code 5.
  void SetRequestVer(const std::string& v);
  bool FollowRelocation() const { return followRelocation_; }
  void SetFollowRelocation(bool v) { followRelocation_ = v; }
  int LocationChangeMaxCount() const { return locationChangeMaxCount_; }
  void SetLocationChangeMaxCount(int v) { locationChangeMaxCount_ = v; }
  int LocationChangeCurCount() const { return locationChangeCurCount_; }
  int BandwidthLimit() const { return bandwidthLimit_; }
  void SetBandwidthLimit(int v) { bandwidthLimit_ = v; }
  int BandwidthSampling() const { return bandwidthSampling_; }
  void SetBandwidthSampling(int v) { bandwidthSampling_ = v; }
  THttpCliOptions Options() const;
  void SetOptions(THttpCliOptions v);
  TQelLogger* QelLogger() const { return socket_->QelLogger(); }
  void SetQelLogger(TQelLogger* logger) { socket_->SetQelLogger(logger); }
  const std::string& SocksServer() const { return socksServer_; }
  void SetSocksServer(const std::string& v) { socksServer_ = v; }
  const std::string& SocksLevel() const { return socksLevel_; }
  void SetSocksLevel(const std::string& v) { socksLevel_ = v; }
  const std::string& SocksPort() const { return socksPort_; }
  void SetSocksPort(const std::string& v) { socksPort_ = v; }
  const std::string& SocksUsercode() const { return socksUsercode_; }
  void SetSocksUsercode(const std::string& v) { socksUsercode_ = v; }
  const std::string& SocksPassword() const { return socksPassword_; }
  void SetSocksPassword(const std::string& v) { socksPassword_ = v; }
  TSocksAuthentication SocksAuthentication() const { return socksAuthentication_; }
  void SetSocksAuthentication(TSocksAuthentication v) { socksAuthentication_ = v; }
  // Longest run of one request in milliseconds, from its start to its end (authentication and
  // relocation included); 0 or less: no limit. Default 30000.
  int Timeout() const { return timeout_; }
  void SetTimeout(int ms) { timeout_ = ms; }
  // Authentication used from the first request on, even when Options forbid it.
  THttpAuthKind ServerAuthKind() const { return serverAuthKind_; }
  void SetServerAuthKind(THttpAuthKind v) { serverAuthKind_ = v; }
  THttpAuthKind ProxyAuthKind() const { return proxyAuthKind_; }
  void SetProxyAuthKind(THttpAuthKind v) { proxyAuthKind_ = v; }

  // --- Request and reply ------------------------------------------------------------------
  THttpState State() const { return state_; }
  int StatusCode() const { return statusCode_; }
  const std::string& ReasonPhrase() const { return reasonPhrase_; }
  std::uint16_t DoneErrorCode() const { return doneErrorCode_; }
  THttpRequest RequestType() const { return requestType_; }
  TStream* ResponseStream() const { return responseStream_; }
  void SetResponseStream(TStream* s) { responseStream_ = s; }
  TStream* RequestBodyStream() const { return requestBodyStream_; }
  void SetRequestBodyStream(TStream* s) { requestBodyStream_ = s; }
  const std::vector<std::string>& HeaderLines() const { return headerLines_; }
  const std::vector<std::string>& AuthChallenges() const { return authChallenges_; }
  const std::string& ResponseVersion() const { return responseVersion_; }
  std::int64_t ContentLength() const { return contentLength_; }
  const std::string& ContentType() const { return contentType_; }
  const std::string& TransferEncoding() const { return transferEncoding_; }
  const std::string& ContentEncoding() const { return contentEncoding_; }
  const std::string& Location() const { return location_; }
  const std::string& DocumentName() const { return documentName_; }
  std::int64_t BodyReceivedCount() const { return bodyReceivedCount_; }
  std::int64_t BodySentCount() const { return bodySentCount_; }
  TWSocket& CtrlSocket() { return *socket_; }

  // --- Operations -------------------------------------------------------------------------
  void Get() { StartRequest(httpGET); }
  void Post() { StartRequest(httpPOST); }
  void Put() { StartRequest(httpPUT); }
  void Head() { StartRequest(httpHEAD); }
  void Close() { StartRequest(httpCLOSE); }
  // Resets the relocation count, then RequestAndWait(httpGET).
  void GetAndWait();
  void PostAndWait() { RequestAndWait(httpPOST); }
  void HeadAndWait() { RequestAndWait(httpHEAD); }
  // Starts the request and handles the thread's messages until this request has ended.
  void RequestAndWait(THttpRequest rq);
  void StartRequest(THttpRequest rq);
  void CancelRequest();

  // --- Events -----------------------------------------------------------------------------
  TNotifyEvent OnStateChange;
  TNotifyEvent OnSessionConnected;
  TNotifyEvent OnSessionClosed;
  TNotifyEvent OnRequestHeaderBegin;
  TNotifyEvent OnRequestHeaderEnd;
  TBeforeHeaderSendEvent OnBeforeHeaderSend;
  TOnCommand OnCommand;
  TNotifyEvent OnHeaderBegin;
  TNotifyEvent OnHeaderEnd;
  TNotifyEvent OnHeaderData;
  TNotifyEvent OnDocBegin;
  TNotifyEvent OnDocEnd;
  TDocDataEvent OnDocData;
  TNotifyEvent OnSendBegin;
  TDocDataEvent OnSendData;
  TNotifyEvent OnSendEnd;
  THttpRequestDone OnRequestDone;
  TNotifyEvent OnLocationChange;
  TLocationChangeExceeded OnLocationChangeExceeded;
  TCookieRcvdEvent OnCookie;
  TDataPush OnDataPush;
  TNotifyEvent OnDataPush2;
  TSocksConnected OnSocksConnected;
  TSocksErrorEvent OnSocksError;
  TNotifyEvent OnSocketError;

 private:
  enum class LineHandler { None, Header, Body };
  static constexpr int kBufferSize = 8192;
  static constexpr int kReceiveMax = 8190;
  static constexpr int kSendPiece = 8193;
  static constexpr platform::WPARAM kBandwidthTimer = 1;
  static constexpr platform::WPARAM kDeadlineTimer = 2;

  // State machine (HttpCli.cpp).
  platform::LRESULT WndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);
  void ChangeState(THttpState newState);
  void PostMsg(unsigned msg);
  void Trace(TLogOption level, const std::string& msg);
  bool Tracing(TLogOption level);
  void ResetReplyState(bool keepLocation = false);
  void ComputeDocumentName();
  void SplitTarget();
  void Login();
  void SocketDnsLookupDone(std::uint16_t error);
  void ConnectAfterLookup();
  void SocketSessionConnected(std::uint16_t error);
  void SendRequest(const std::string& method, const std::string& version);
  std::vector<std::string> BuildHeaderLines(const std::string& method, const std::string& version);
  void SocketDataSent(std::uint16_t error);
  void SocketSessionClosed(std::uint16_t error);
  void CloseHandling(std::uint16_t error);
  void FailRequest(int status, const std::string& reason, std::uint16_t error);
  void RequestDoneMessage();
  void DeadlinePassed();
  void RewindStreams();
  bool SameConnection() const;
  // Closes the connection after the running handler has returned, unless it is gone by then.
  void CloseLater();

  // Reply reception (HttpCliReceive.cpp).
  void SocketDataAvailable(std::uint16_t error);
  // Takes what the socket holds and works on it; the count received (0 or less: nothing).
  int ReceiveAndProcess(std::uint16_t error);
  void ProcessHeaderLine(const std::string& line, const std::string& raw);
  void ProcessFieldLine(const std::string& line);
  void EndOfHeader();
  bool ReplyHasBody() const;
  void HandBody();
  void GetBodyLineNext(const char* data, std::int64_t length);
  void WriteBody(const char* data, std::size_t length);
  void EndDocument();
  void ReplyComplete();
  void BadReply(const std::string& reason);
  void BandwidthTick();
  bool BodyIncomplete() const;

  // Authentication and relocation (HttpCliAuth.cpp).
  void PresetAuthentication();
  void AuthorizationLines(std::vector<std::string>& lines);
  bool AuthenticationDecision();
  bool PrepareNTLMAuth(bool& resend);
  bool StartBasicAuthRound(bool& resend);
  void NTLMRoundStep(bool proxy);
  void BasicRoundStep(bool proxy);
  // NTLM needs the connection kept: true when the request would not keep it by itself.
  bool KeepAliveForNtlm() const;
  void LocationField(const std::string& value);
  void FollowLocation();
  void RelocationSessionClosed(std::uint16_t error);
  bool CountRelocation();

  std::unique_ptr<TWSocket> socket_;
  std::unique_ptr<platform::MessageWindow> window_;
  std::unique_ptr<THttpContCodHandler> contentCoding_;
  // Set while the object exists; lets a handler see that an event has destroyed it.
  std::shared_ptr<char> alive_ = std::make_shared<char>(0);

  // Properties.
  std::string url_;
  std::string localAddr_ = "0.0.0.0";
  std::string proxy_;
  std::string proxyPort_ = "80";
  std::string sender_;
  std::string agent_ = "Mozilla/4.0 (compatible; QEL)";
  std::string accept_ = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  std::string acceptLanguage_;
  std::string reference_;
  std::string connection_;
  std::string proxyConnection_;
  std::string username_, password_;
  std::string proxyUsername_, proxyPassword_;
  bool noCache_ = false;
  double modifiedSince_ = 0;
  std::string cookie_;
  std::string contentTypePost_ = "application/x-www-form-urlencoded";
  std::string contentRangeBegin_, contentRangeEnd_;
  std::string contentRange_;
  std::string acceptRanges_;
  bool multiThreaded_ = false;
  std::string requestVer_ = "1.0";
  bool followRelocation_ = true;
  int locationChangeMaxCount_ = 5;
  int locationChangeCurCount_ = 0;
  int bandwidthLimit_ = 10000;
  int bandwidthSampling_ = 1000;
  THttpCliOptions options_;
  std::string socksServer_, socksLevel_, socksPort_, socksUsercode_, socksPassword_;
  TSocksAuthentication socksAuthentication_ = socksNoAuthentication;
  int timeout_ = 30000;
  THttpAuthKind serverAuthKind_ = httpAuthNone;
  THttpAuthKind proxyAuthKind_ = httpAuthNone;

  TStream* responseStream_ = nullptr;
  TStream* requestBodyStream_ = nullptr;

  // Request state.
  THttpState state_ = httpReady;
  THttpRequest requestType_ = httpNone;
  bool requestRunning_ = false;  // from StartRequest to the request-done message
  // Posted messages carry the request's (or the connection's) number; a message of an earlier
  // one is dropped.
  platform::WPARAM requestSerial_ = 0;
  platform::WPARAM connectionSerial_ = 0;
  bool everStarted_ = false;
  std::uint16_t doneErrorCode_ = 0;
  int statusCode_ = 0;
  std::string reasonPhrase_;
  std::string responseVersion_;
  bool closeReq_ = true;
  std::int64_t contentLength_ = -1;
  std::string contentType_, transferEncoding_, contentEncoding_;
  std::string location_;
  bool locationPending_ = false;
  int headerLineNumber_ = 0;
  bool inHeader_ = false;
  int bodyCallCount_ = 0;
  std::int64_t bodyReceivedCount_ = 0;
  std::int64_t bodySentCount_ = 0;
  bool bodySending_ = false;
  bool bodyDone_ = false;  // the current reply's body ended as announced
  std::int64_t responseStreamStartSize_ = 0;
  THttpChunkDecoder chunk_;
  LineHandler nextLineHandler_ = LineHandler::None;
  char receiveBuffer_[kBufferSize + 1] = {};
  int receiveLength_ = 0;
  bool lineOverlong_ = false;  // dropping the rest of a header line that was too long
  std::string connectHost_, connectPort_, protocol_;
  std::string connectedHost_, connectedPort_, connectedProtocol_;
  bool connected_ = false;
  std::string targetHost_, targetPort_;
  std::string requestPath_;
  std::string docPath_;
  std::string documentName_;
  std::string currentUser_, currentPassword_;
  std::string connectionValue_, proxyConnectionValue_;
  std::string dnsResult_;
  std::vector<std::string> headerLines_;
  std::vector<std::string> authChallenges_;
  std::string socksErrorText_;
  int socketErrorCode_ = 0;  // the socket's error while a connect is being started
  bool connecting_ = false;
  std::int64_t bandwidthBytes_ = 0;
  std::int64_t bandwidthQuota_ = 0;
  bool receivePaused_ = false;
  bool draining_ = false;  // reading what is left after the peer closed
  bool bandwidthTimerOn_ = false;

  // Authentication.
  int authNtlmState_ = 0, proxyAuthNtlmState_ = 0;
  int authBasicState_ = 0, proxyAuthBasicState_ = 0;
  TNTLM_Msg2_Info serverChallenge_, proxyChallenge_;
};
