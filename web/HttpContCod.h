#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Content codings of HTTP replies: a registry of the codings this client can decode, and the
// handler a client owns that builds the "Accept-Encoding: " value and, for each reply body, the
// chain of decoders the body passes on its way to the response stream and the data event.

// Takes decoded bytes.
using THttpWriteProc = std::function<void(const char* buffer, std::int32_t len)>;

class EHttpContentCodingException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One decoder, made per reply body; it writes what it decodes to the output writer it was made
// with.
class THttpContentCoding {
 public:
  explicit THttpContentCoding(THttpWriteProc outputWriter);
  virtual ~THttpContentCoding();
  THttpContentCoding(const THttpContentCoding&) = delete;
  THttpContentCoding& operator=(const THttpContentCoding&) = delete;

  // End of the body: writes what is still held back. Nothing in the base.
  virtual void Flush();
  // Decodes buffer and writes the result to the output writer.
  virtual void WriteData(const char* buffer, std::int32_t len) = 0;

 protected:
  THttpWriteProc OutputWriter;
};

// "identity" and "*": the data passes unchanged.
class THttpCCodIdentity : public THttpContentCoding {
 public:
  using THttpContentCoding::THttpContentCoding;
  void WriteData(const char* buffer, std::int32_t len) override;
};
class THttpCCodStar : public THttpCCodIdentity {
 public:
  using THttpCCodIdentity::THttpCCodIdentity;
};

// What a coding class answers before any decoder exists, and how to make a decoder.
struct THttpContentCodingClass {
  std::string ClassName;
  // The coding's name; empty when it is to be derived from ClassName (see CodingName).
  std::string Coding;
  // Empty: usable.
  std::function<bool()> IsUsable;
  std::function<std::unique_ptr<THttpContentCoding>(THttpWriteProc)> Create;
};

// The coding's name: Coding when set, else ClassName after the prefix "THttpContentCoding".
// Raises EHttpContentCodingException "GetCoding must be overriden in <ClassName>" when neither
// gives one.
std::string CodingName(const THttpContentCodingClass& cls);
bool CodingIsUsable(const THttpContentCodingClass& cls);

// A list of coding classes with their default qualities.
class TContCodingsList {
 public:
  struct Entry {
    THttpContentCodingClass CodingClass;
    float Quality = 0;
  };

  void Add(THttpContentCodingClass cls, float quality);
  // The last entry whose coding name equals name without regard to ASCII case, or nullptr.
  const THttpContentCodingClass* Find(const std::string& name) const;
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

// The process-wide registry, made on first use with "identity" then "*", both of quality 0.
TContCodingsList& ContCodings();

// One registered coding as one handler sees it.
struct THttpContCodItem {
  THttpContentCodingClass CodingClass;
  bool ItemEnabled = true;
  float Quality = 0;
};

class THttpContCodHandler {
 public:
  // streamWriter writes to the client's response stream as it is at writing time (and does
  // nothing when the client has none); outputWriter is the client's data event. The coding items
  // are taken from registry now; decoders are looked up in it later, so it must outlive the
  // handler.
  THttpContCodHandler(THttpWriteProc streamWriter, THttpWriteProc outputWriter,
                      const TContCodingsList& registry = ContCodings());
  ~THttpContCodHandler();
  THttpContCodHandler(const THttpContCodHandler&) = delete;
  THttpContCodHandler& operator=(const THttpContCodHandler&) = delete;

  // The "Accept-Encoding: " value; empty when not enabled (then no such line is sent). Quality
  // values are written when UseQuality is set and at least two items are usable, always with "."
  // as the decimal separator; without them only items of a quality above 0 are named.
  std::string HeaderValue();

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool UseQuality() const { return useQuality_; }
  void SetUseQuality(bool useQuality);
  std::vector<THttpContCodItem>& CodingItems() { return items_; }
  // Call after changing CodingItems.
  void MarkHeaderStale() { headerStale_ = true; }

  // At the first data of every body, with the reply's content-encoding text: names are separated
  // by commas and blanks (a name in double quotes may hold blanks); the body passes their decoders
  // in reverse order. False when a name is unknown: then the body passes undecoded, as it does
  // when the handler is not enabled.
  bool PrepareDecoders(const std::string& contentEncoding);
  // At the end of a body of known length: flushes the decoders, last made first.
  void CompleteDecoders();
  // Frees the decoders; the body then goes straight to the output.
  void ClearDecoders();

  // Body bytes in: through the decoders to the stream and the data event.
  void WriteData(const char* buffer, std::int32_t len);
  // The end of the chain: the stream, then the data event.
  void WriteToOutput(const char* buffer, std::int32_t len);

 private:
  const TContCodingsList& registry_;
  std::vector<std::unique_ptr<THttpContentCoding>> decoders_;
  std::vector<THttpContCodItem> items_;
  THttpWriteProc streamWriter_;
  THttpWriteProc outputWriter_;
  THttpWriteProc inputWriter_;
  std::string headerText_;
  bool headerStale_ = true;
  bool enabled_ = false;
  bool useQuality_ = false;
};
