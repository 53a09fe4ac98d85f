#include <gtest/gtest.h>

#include "web/HttpReplyParse.h"

TEST(HttpReplyParse, StatusLines) {
  struct Row {
    std::string line;
    bool ok;
    std::string version;
    int code;
    std::string reason;
  };
  const Row rows[] = {
      {"HTTP/1.1 200 OK", true, "1.1", 200, "OK"},
      {"HTTP/1.0 404 Not Found", true, "1.0", 404, "Not Found"},
      {"HTTP/1.1 304", true, "1.1", 304, ""},
      {"HTTP/1.1 204 ", true, "1.1", 204, ""},
      {"HTTP/1.1  301 Moved", true, "1.1", 301, "Moved"},
      {"HTTP/1.1 OK", false, "", 0, ""},
      {"HTTP/1.1 20", false, "", 0, ""},
      {"HTTP/1.1 2000 OK", false, "", 0, ""},
      {"http/1.1 200 OK", false, "", 0, ""},
      {"HTTP/2 200 OK", false, "", 0, ""},
      {"HTTP/1.1", false, "", 0, ""},
  };
  for (const Row& r : rows) {
    THttpStatusLine s;
    EXPECT_EQ(ParseHttpStatusLine(r.line, s), r.ok) << r.line;
    if (!r.ok) continue;
    EXPECT_EQ(s.version, r.version) << r.line;
    EXPECT_EQ(s.code, r.code) << r.line;
    EXPECT_EQ(s.reason, r.reason) << r.line;
  }
}

TEST(HttpReplyParse, Fields) {
  struct Row {
    std::string line;
    bool ok;
    std::string name, value;
  };
  const Row rows[] = {
      {"Content-Length: 12", true, "content-length", "12"},
      {"Location:/next", true, "location", "/next"},
      {"X-Empty:   ", true, "x-empty", ""},
      {"Set-Cookie: a=b: c", true, "set-cookie", "a=b: c"},
      {"no colon here", false, "", ""},
  };
  for (const Row& r : rows) {
    std::string name, value;
    EXPECT_EQ(SplitHttpField(r.line, name, value), r.ok) << r.line;
    if (!r.ok) continue;
    EXPECT_EQ(name, r.name);
    EXPECT_EQ(value, r.value);
  }
}

TEST(HttpReplyParse, ContentLengths) {
  const std::pair<std::string, std::int64_t> rows[] = {
      {"0", 0},
      {" 1234 ", 1234},
      {"-5", -1},
      {"12abc", -1},
      {"", -1},
      {"999999999999999999", 999999999999999999},
      {"9999999999999999999", -1},
      {"1 2", -1},
  };
  for (const auto& [text, value] : rows) EXPECT_EQ(ParseContentLength(text), value) << text;
}
