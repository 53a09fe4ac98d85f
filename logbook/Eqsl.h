#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "logbook/AdifRecord.h"

class THttpCli;

// The real-time upload of one contact to eQSL: the text sent, the request, and the reading of
// the reply. The password is never traced or logged: the request's socket gets no logger.

struct TEqslAccount {
  bool Enabled = false;
  std::string User;      // the connected station's name
  std::string Password;  // unscrambled; empty: EQSL_PSWD is left out
};

constexpr const char* kEqslServer = "www.eqsl.cc";
constexpr const char* kEqslErrorCaption = "eQSL real-time logging error";

// The ADIF header and record of the upload, one line.
std::string EqslUploadText(const TEqslAccount& account, const TContact& contact);

// "http://" + server + "/qslcard/importADIF.cfm?ADIFData=" + the percent-encoded text; server is
// a host with an optional ":port".
std::string EqslUrl(const std::string& server, const std::string& text);

// The reply body read: nullopt when it reports the record added, else the text to show. The body
// counts up to its first zero byte.
std::optional<std::string> EqslReplyError(std::string_view body);

// The text shown when the request itself failed.
std::string EqslFailureText(int statusCode, const std::string& reason);

// One request at a time through its own HTTP client, set up as the contact window's. Upload
// returns when the request has ended (events keep running meanwhile): nullopt on success, else
// the error text for the box. Exceptions other than the HTTP client's pass on.
class TEqslUpload {
 public:
  // The reply body kept; what a hostile or broken server sends beyond it is dropped.
  static constexpr std::size_t kReplyLimit = 256 * 1024;

  TEqslUpload();
  ~TEqslUpload();
  THttpCli& HttpClient() { return *http_; }
  bool Busy() const { return busy_; }
  std::optional<std::string> Upload(const std::string& server, const std::string& text);

 private:
  std::unique_ptr<THttpCli> http_;
  bool busy_ = false;
};
