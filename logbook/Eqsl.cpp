#include "logbook/Eqsl.h"

#include "text/Text.h"
#include "web/HttpCli.h"
#include "web/Stream.h"
#include "web/Url.h"

namespace {

constexpr std::string_view kSuccess = "Result: 1 out of 1 records added";

// A memory stream that keeps at most a fixed number of bytes and takes the rest without
// storing it, so that a reply of any size cannot exhaust memory.
class TBoundedStream : public TMemoryStream {
 public:
  explicit TBoundedStream(std::size_t limit) : limit_(limit) {}
  std::int32_t Write(const void* buffer, std::int32_t count) override {
    if (count <= 0) return 0;
    std::size_t room = Position() < static_cast<std::int64_t>(limit_)
                           ? limit_ - static_cast<std::size_t>(Position())
                           : 0;
    std::int32_t kept = static_cast<std::int32_t>(std::min<std::size_t>(room, count));
    if (kept > 0) TMemoryStream::Write(buffer, kept);
    return count;
  }

 private:
  std::size_t limit_;
};

void RemoveAll(std::string& text, std::string_view what) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at))
    text.erase(at, what.size());
}

}  // namespace

std::string EqslUploadText(const TEqslAccount& account, const TContact& contact) {
  std::string t = "Talvo v1.0 <ADIF_VER:4>1.00";
  AddAdifField(t, "EQSL_USER", AdifText(account.User));
  AddAdifField(t, "EQSL_PSWD", AdifText(account.Password));
  t += "<EOH>";
  AddAdifField(t, "CALL", ContactCall(contact.Fields.Call));
  AddAdifField(t, "QSO_DATE", AdifDate(contact.Start));
  AddAdifField(t, "TIME_ON", AdifTime(contact.Start));
  AddAdifField(t, "BAND", BandOf(contact.FreqKhz));
  AddAdifField(t, "MODE", AdifMode(contact.ModeGroup));
  AddAdifField(t, "RST_SENT", AdifText(contact.Fields.RstSent));
  AddAdifField(t, "LOG_PGM", "Talvo");
  return t + "<EOR>";
}

std::string EqslUrl(const std::string& server, const std::string& text) {
  return "http://" + server + "/qslcard/importADIF.cfm?ADIFData=" + PercentEncode(text);
}

std::optional<std::string> EqslReplyError(std::string_view body) {
  std::string text(body.substr(0, body.find('\0')));
  if (text.find(kSuccess) != std::string::npos) return std::nullopt;
  const std::size_t open = text.find("<BODY>");
  const std::size_t close = text.find("</BODY>");
  if (open != std::string::npos && close != std::string::npos && open < close) {
    // The character right behind the tag (a line break) is skipped with it.
    const std::size_t from = open + 7;
    text = "  " + Trim(from < close ? std::string_view(text).substr(from, close - from) : "");
  }
  const std::size_t center = text.find("</CENTER>");
  if (center != std::string::npos) text.erase(center);
  RemoveAll(text, "<BR>");
  if (Trim(text).empty()) text = "The eQSL service gave no result for the contact.";
  return text;
}

std::string EqslFailureText(int statusCode, const std::string& reason) {
  return "EQSL real-time logging failed. Status code: " + std::to_string(statusCode) +
         ". Reason: " + reason + ".";
}

TEqslUpload::TEqslUpload() : http_(std::make_unique<THttpCli>()) {
  // As the contact window's client is set up; most are the client's own defaults.
  http_->SetRequestVer("1.0");
  http_->SetFollowRelocation(true);
  http_->SetLocationChangeMaxCount(5);
  http_->SetNoCache(false);
  http_->SetOptions({});
  http_->SetAccept("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
  http_->SetAgent("Mozilla/4.0 (compatible; QEL)");
  http_->SetContentTypePost("application/x-www-form-urlencoded");
  http_->SetLocalAddr("0.0.0.0");
  http_->SetProxyPort("80");
  http_->SetBandwidthLimit(10000);
  http_->SetBandwidthSampling(1000);
}

TEqslUpload::~TEqslUpload() = default;

std::optional<std::string> TEqslUpload::Upload(const std::string& server, const std::string& text) {
  busy_ = true;
  TBoundedStream reply(kReplyLimit);
  struct TDone {
    TEqslUpload* self;
    ~TDone() {
      self->http_->SetResponseStream(nullptr);
      self->busy_ = false;
    }
  } done{this};
  http_->SetURL(EqslUrl(server, text));
  http_->SetResponseStream(&reply);
  try {
    http_->GetAndWait();
  } catch (const EHttpException&) {
    return EqslFailureText(http_->StatusCode(), http_->ReasonPhrase());
  }
  return EqslReplyError(reply.Data());
}
