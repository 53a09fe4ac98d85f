#include "web/HttpContCod.h"

#include <charconv>

namespace {

const char kCodingClassPrefix[] = "THttpContentCoding";

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// At most three decimals, no trailing zeros, "." whatever the locale.
std::string FormatQuality(float quality) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<double>(quality),
                                 std::chars_format::fixed, 3);
  std::string text = ec == std::errc() ? std::string(buf, end) : std::string("0");
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

// Names separated by commas and blanks; double quotes keep blanks inside a name.
std::vector<std::string> SplitCodingNames(const std::string& text) {
  std::vector<std::string> names;
  std::string name;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ',' || c == ' ' || c == '\t')) {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else {
      name += c;
    }
  }
  if (!name.empty()) names.push_back(name);
  return names;
}

template <typename Coding>
THttpContentCodingClass PassThroughClass(const char* className, const char* coding) {
  return {className, coding, nullptr, [](THttpWriteProc writer) {
            return std::unique_ptr<THttpContentCoding>(new Coding(std::move(writer)));
          }};
}

}  // namespace

THttpContentCoding::THttpContentCoding(THttpWriteProc outputWriter)
    : OutputWriter(std::move(outputWriter)) {}
THttpContentCoding::~THttpContentCoding() = default;
void THttpContentCoding::Flush() {}

void THttpCCodIdentity::WriteData(const char* buffer, std::int32_t len) {
  if (OutputWriter) OutputWriter(buffer, len);
}

std::string CodingName(const THttpContentCodingClass& cls) {
  if (!cls.Coding.empty()) return cls.Coding;
  const std::string prefix = kCodingClassPrefix;
  if (cls.ClassName.size() > prefix.size() && cls.ClassName.compare(0, prefix.size(), prefix) == 0)
    return cls.ClassName.substr(prefix.size());
  throw EHttpContentCodingException("GetCoding must be overriden in " + cls.ClassName);
}

bool CodingIsUsable(const THttpContentCodingClass& cls) {
  return !cls.IsUsable || cls.IsUsable();
}

void TContCodingsList::Add(THttpContentCodingClass cls, float quality) {
  entries_.push_back({std::move(cls), quality});
}

const THttpContentCodingClass* TContCodingsList::Find(const std::string& name) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (EqualNoCase(CodingName(it->CodingClass), name)) return &it->CodingClass;
  return nullptr;
}

TContCodingsList& ContCodings() {
  static TContCodingsList list = [] {
    TContCodingsList made;
    made.Add(PassThroughClass<THttpCCodIdentity>("THttpCCodIdentity", "identity"), 0);
    made.Add(PassThroughClass<THttpCCodStar>("THttpCCodStar", "*"), 0);
    return made;
  }();
  return list;
}

THttpContCodHandler::THttpContCodHandler(THttpWriteProc streamWriter, THttpWriteProc outputWriter,
                                         const TContCodingsList& registry)
    : registry_(registry),
      streamWriter_(std::move(streamWriter)),
      outputWriter_(std::move(outputWriter)) {
  for (const auto& entry : registry.Entries())
    items_.push_back({entry.CodingClass, true, entry.Quality});
  ClearDecoders();
}

THttpContCodHandler::~THttpContCodHandler() = default;

void THttpContCodHandler::SetUseQuality(bool useQuality) {
  if (useQuality == useQuality_) return;
  useQuality_ = useQuality;
  headerStale_ = true;
}

std::string THttpContCodHandler::HeaderValue() {
  if (!enabled_) return std::string();
  if (headerStale_) {
    std::vector<const THttpContCodItem*> usable;
    for (const auto& item : items_)
      if (item.ItemEnabled && CodingIsUsable(item.CodingClass)) usable.push_back(&item);
    const bool withQuality = useQuality_ && usable.size() >= 2;
    std::string text;
    for (const THttpContCodItem* item : usable) {
      if (!withQuality && item->Quality <= 0) continue;
      if (!text.empty()) text += ", ";
      text += CodingName(item->CodingClass);
      if (withQuality) text += ";q=" + FormatQuality(item->Quality);
    }
    headerText_ = text;
    headerStale_ = false;
  }
  return headerText_;
}

bool THttpContCodHandler::PrepareDecoders(const std::string& contentEncoding) {
  ClearDecoders();
  if (!enabled_ || contentEncoding.empty()) return true;
  for (const std::string& name : SplitCodingNames(contentEncoding)) {
    const THttpContentCodingClass* cls = registry_.Find(name);
    if (!cls || !cls->Create) {
      ClearDecoders();
      return false;
    }
    decoders_.push_back(cls->Create(inputWriter_));
    THttpContentCoding* decoder = decoders_.back().get();
    inputWriter_ = [decoder](const char* buffer, std::int32_t len) {
      decoder->WriteData(buffer, len);
    };
  }
  return true;
}

void THttpContCodHandler::CompleteDecoders() {
  for (auto it = decoders_.rbegin(); it != decoders_.rend(); ++it) (*it)->Flush();
}

void THttpContCodHandler::ClearDecoders() {
  decoders_.clear();
  inputWriter_ = [this](const char* buffer, std::int32_t len) { WriteToOutput(buffer, len); };
}

void THttpContCodHandler::WriteData(const char* buffer, std::int32_t len) {
  inputWriter_(buffer, len);
}

void THttpContCodHandler::WriteToOutput(const char* buffer, std::int32_t len) {
  if (streamWriter_) streamWriter_(buffer, len);
  if (outputWriter_) outputWriter_(buffer, len);
}
