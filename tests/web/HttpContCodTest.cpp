#include <gtest/gtest.h>

#include <locale>
#include <string>

#include "web/HttpContCod.h"

namespace {

// Collects what reaches the stream and the data event.
struct Sink {
  std::string stream, events;
  THttpContCodHandler handler;
  explicit Sink(const TContCodingsList& registry = ContCodings())
      : handler([this](const char* b, std::int32_t n) { stream.append(b, n); },
                [this](const char* b, std::int32_t n) { events.append(b, n); }, registry) {}
  void Write(const std::string& s) {
    handler.WriteData(s.data(), static_cast<std::int32_t>(s.size()));
  }
};

// A decoder that marks what passes it with its letter, and holds back its last byte until Flush.
class MarkCoding : public THttpContentCoding {
 public:
  MarkCoding(THttpWriteProc out, char mark) : THttpContentCoding(std::move(out)), mark_(mark) {}
  void WriteData(const char* buffer, std::int32_t len) override {
    std::string s = held_ + std::string(buffer, len);
    std::string out;
    for (char c : s.substr(0, s.size() - 1)) out += {mark_, c};
    held_ = s.substr(s.size() - 1);
    if (!out.empty()) OutputWriter(out.data(), static_cast<std::int32_t>(out.size()));
  }
  void Flush() override {
    std::string out = {mark_, held_.empty() ? '-' : held_[0]};
    held_.clear();
    OutputWriter(out.data(), 2);
  }

 private:
  char mark_;
  std::string held_;
};

THttpContentCodingClass MarkClass(const std::string& className, char mark) {
  return {className, "", nullptr, [mark](THttpWriteProc out) {
            return std::unique_ptr<THttpContentCoding>(new MarkCoding(std::move(out), mark));
          }};
}

TEST(ContentCoding, HeaderValueFollowsEnabledAndQuality) {
  struct Row {
    bool enabled, quality;
    const char* header;
  } rows[] = {
      {false, false, ""},
      {false, true, ""},
      {true, false, ""},  // both registered codings have quality 0
      {true, true, "identity;q=0, *;q=0"},
  };
  for (const Row& r : rows) {
    Sink sink;
    sink.handler.SetEnabled(r.enabled);
    sink.handler.SetUseQuality(r.quality);
    EXPECT_EQ(sink.handler.HeaderValue(), r.header) << r.enabled << r.quality;
  }
}

struct CommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(ContentCoding, QualitiesUseAFullStopInACommaLocale) {
  TContCodingsList registry;
  registry.Add(MarkClass("THttpContentCodingGzip", 'g'), 0.5f);
  registry.Add(MarkClass("THttpContentCodingBr", 'b'), 0.125f);
  registry.Add(MarkClass("THttpContentCodingZstd", 'z'), 1.0f / 3);
  registry.Add(MarkClass("THttpContentCodingOff", 'o'), 0);
  std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
  Sink sink(registry);
  sink.handler.SetEnabled(true);
  sink.handler.SetUseQuality(true);
  std::string withQuality = sink.handler.HeaderValue();
  sink.handler.SetUseQuality(false);
  std::string without = sink.handler.HeaderValue();
  sink.handler.CodingItems()[0].ItemEnabled = false;
  sink.handler.MarkHeaderStale();
  std::string withoutGzip = sink.handler.HeaderValue();
  std::locale::global(previous);
  EXPECT_EQ(withQuality, "Gzip;q=0.5, Br;q=0.125, Zstd;q=0.333, Off;q=0");
  EXPECT_EQ(without, "Gzip, Br, Zstd");
  EXPECT_EQ(withoutGzip, "Br, Zstd");
}

TEST(ContentCoding, OneUsableItemGetsNoQuality) {
  TContCodingsList registry;
  registry.Add(MarkClass("THttpContentCodingGzip", 'g'), 0.5f);
  registry.Add({"THttpContentCodingNever", "", [] { return false; }, nullptr}, 1);
  Sink sink(registry);
  sink.handler.SetEnabled(true);
  sink.handler.SetUseQuality(true);
  EXPECT_EQ(sink.handler.HeaderValue(), "Gzip");
}

TEST(ContentCoding, BodyPassesUnchangedWhenNotDecoded) {
  struct Row {
    bool enabled;
    const char* encoding;
    bool known;
  } rows[] = {
      {false, "gzip", true},           {false, "", true}, {true, "gzip", false},
      {true, "identity", true},        {true, "*", true}, {true, "IDENTITY, *", true},
      {true, "identity, gzip", false},
  };
  for (const Row& r : rows) {
    Sink sink;
    sink.handler.SetEnabled(r.enabled);
    EXPECT_EQ(sink.handler.PrepareDecoders(r.encoding), r.known) << r.encoding;
    sink.Write(std::string("\x1f\x8b\x08\0body", 8));
    sink.handler.CompleteDecoders();
    EXPECT_EQ(sink.stream, std::string("\x1f\x8b\x08\0body", 8)) << r.encoding;
    EXPECT_EQ(sink.events, sink.stream);
  }
}

TEST(ContentCoding, DecodersRunInReverseOrderAndFlushLastMadeFirst) {
  TContCodingsList registry = ContCodings();
  registry.Add(MarkClass("THttpContentCodingA", 'a'), 0);
  registry.Add(MarkClass("THttpContentCodingB", 'b'), 0);
  Sink sink(registry);
  sink.handler.SetEnabled(true);
  // Applied a then b by the sender: b is undone first.
  ASSERT_TRUE(sink.handler.PrepareDecoders("a, \"b\""));
  sink.Write("xy");
  sink.handler.CompleteDecoders();
  EXPECT_EQ(sink.stream, "abaxabay");
  // The next body starts afresh; an unknown coding leaves it undecoded.
  sink.stream.clear();
  EXPECT_FALSE(sink.handler.PrepareDecoders("b c"));
  sink.Write("z");
  EXPECT_EQ(sink.stream, "z");
}

TEST(ContentCoding, NamesComeFromTheClassNameOrRaise) {
  EXPECT_EQ(CodingName({"THttpContentCodingDeflate", "", nullptr, nullptr}), "Deflate");
  EXPECT_EQ(CodingName({"Whatever", "br", nullptr, nullptr}), "br");
  try {
    CodingName({"TMyCoding", "", nullptr, nullptr});
    FAIL();
  } catch (const EHttpContentCodingException& e) {
    EXPECT_STREQ(e.what(), "GetCoding must be overriden in TMyCoding");
  }
  EXPECT_NE(ContCodings().Find("Identity"), nullptr);
  EXPECT_EQ(ContCodings().Find("gzip"), nullptr);
}

}  // namespace
