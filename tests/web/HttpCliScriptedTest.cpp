// The HTTP client against a scripted server that sends exact byte sequences: the request it
// writes, replies cut at awkward places, interim and body-less replies, broken and silent
// servers, relocation and authentication exchanges.

#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "sockets/Base64.h"
#include "web/Ntlm.h"

using namespace httptest;

namespace {

const char kHello[] = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello";

// Runs GetAndWait and returns the exception's code, 0 when none was raised.
int GetCode(THttpCli& c) {
  try {
    c.GetAndWait();
  } catch (const EHttpException& e) {
    return e.ErrorCode();
  }
  return 0;
}

}  // namespace

TEST(HttpCliScripted, SendsTheHeaderLinesInTheirOrder) {
  std::string request;
  ScriptedServer server([&request](Conn& conn, int) {
    request = conn.ReadRequest();
    conn.Write(kHello);
  });
  THttpCli c;
  TMemoryStream body;
  HttpTrace trace(c);
  c.SetURL(server.Url("/dir/page.htm?call=K2"));
  c.SetResponseStream(&body);
  c.SetSender("op@example.org");
  c.SetReference("http://127.0.0.1/ref");
  c.SetAcceptLanguage("en");
  c.SetNoCache(true);
  c.SetCookie("a=1");
  c.SetModifiedSince(45658.5);  // 2025-01-01 12:00:00, a Wednesday
  c.SetContentRangeBegin("10");
  c.GetAndWait();
  EXPECT_EQ(RequestLines(request),
            (std::vector<std::string>{
                "GET /dir/page.htm?call=K2 HTTP/1.0", "From: op@example.org",
                "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*",
                "Referer: http://127.0.0.1/ref", "Accept-Language: en",
                "User-Agent: Mozilla/4.0 (compatible; QEL)", "Host: 127.0.0.1:" + server.PortText(),
                "Pragma: no-cache", "If-Modified-Since: Wed, 01 Jan 2025 12:00:00 GMT",
                "Cookie: a=1", "Range: bytes=10-"}));
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_EQ(c.ReasonPhrase(), "OK");
  EXPECT_EQ(body.Data(), "hello");
  EXPECT_EQ(trace.body, "hello");
  EXPECT_EQ(trace.done, 1);
  EXPECT_EQ(trace.doneRequest, httpGET);
  EXPECT_EQ(c.DocumentName(), "page.htm");
  EXPECT_EQ(c.ContentRangeBegin(), "");
  EXPECT_EQ(c.State(), httpReady);
}

TEST(HttpCliScripted, ThroughAProxyTheRequestLineCarriesTheWholeUrl) {
  std::string request;
  ScriptedServer proxy([&request](Conn& conn, int) {
    request = conn.ReadRequest();
    conn.Write(kHello);
  });
  THttpCli c;
  c.SetURL("http://k2.example.invalid/upload?x=1");
  c.SetProxy("127.0.0.1:" + proxy.PortText());
  c.GetAndWait();
  auto lines = RequestLines(request);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "GET http://k2.example.invalid/upload?x=1 HTTP/1.0");
  EXPECT_EQ(lines[3], "Host: k2.example.invalid");
  EXPECT_EQ(c.StatusCode(), 200);
}

TEST(HttpCliScripted, PostsItsBodyInPiecesEachAfterThePreviousWasSent) {
  std::string request;
  ScriptedServer server([&request](Conn& conn, int) {
    request = conn.ReadRequest();
    conn.Write(kHello);
  });
  THttpCli c;
  TMemoryStream post;
  std::string data = Pattern(20000);
  post.SetData(data);
  std::vector<int> pieces;
  int begins = 0, ends = 0;
  c.OnSendBegin = [&](THttpCli*) { ++begins; };
  c.OnSendData = [&](THttpCli*, const void*, int len) { pieces.push_back(len); };
  c.OnSendEnd = [&](THttpCli*) { ++ends; };
  c.SetURL(server.Url("/post"));
  c.SetRequestBodyStream(&post);
  c.PostAndWait();
  EXPECT_EQ(pieces, (std::vector<int>{8193, 8193, 3614}));
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(ends, 1);
  ASSERT_GT(request.size(), data.size());
  EXPECT_EQ(request.substr(request.size() - data.size()), data);
  EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
            std::string::npos);
  EXPECT_NE(request.find("\r\nContent-Length: 20000\r\n"), std::string::npos);
  EXPECT_EQ(c.BodySentCount(), 20000);
}

TEST(HttpCliScripted, PostWithoutABodyStreamIsRefused) {
  THttpCli c;
  c.SetURL("http://127.0.0.1:1/");
  try {
    c.Post();
    FAIL();
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_STREQ(e.what(), "HTTP component has nothing to post or put");
  }
}

TEST(HttpCliScripted, ChunkSizesAndLineEndsSplitAcrossReadsOnAKeptConnection) {
  std::string data = Pattern(26, 7);
  ScriptedServer server(
      [&data](Conn& conn, int) {
        conn.ReadRequest();
        conn.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1");
        conn.Pause(50);
        conn.Write("a;ext=1\r\n" + data.substr(0, 10));
        conn.Pause(50);
        conn.Write(data.substr(10) + "\r");
        conn.Pause(50);
        conn.Write("\n0\r\nX-Trailer: 1\r\n\r\n");
        conn.ReadRequest();
        conn.Write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
        conn.PeerClosed();
      },
      2);
  THttpCli c;
  HttpTrace trace(c);
  c.SetRequestVer("1.1");
  c.SetURL(server.Url("/a"));
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_EQ(trace.body, data);
  EXPECT_EQ(c.TransferEncoding(), "chunked");
  trace.body.clear();
  c.SetURL(server.Url("/b"));
  c.GetAndWait();
  EXPECT_EQ(trace.body, "ok");
  EXPECT_EQ(server.Accepted(), 1);  // the connection was kept and used again
}

TEST(HttpCliScripted, RepliesWithoutABodyCompleteAtTheEndOfTheHeader) {
  const std::vector<std::string> replies = {
      "HTTP/1.1 304 Not Modified\r\nETag: \"x\"\r\n\r\n",
      "HTTP/1.1 204 No Content\r\n\r\n",
      "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
  };
  for (const std::string& reply : replies) {
    ScriptedServer server([&reply](Conn& conn, int) {
      conn.ReadRequest();
      conn.Write(reply);
      conn.PeerClosed();  // the connection stays open: the header alone ends the request
    });
    THttpCli c;
    int docBegins = 0;
    c.OnDocBegin = [&](THttpCli*) { ++docBegins; };
    c.SetRequestVer("1.1");
    c.SetURL(server.Url());
    EXPECT_EQ(GetCode(c), 0) << reply;
    EXPECT_EQ(c.StatusCode(), std::stoi(reply.substr(9, 3))) << reply;
    EXPECT_EQ(docBegins, 0) << reply;
  }
}

TEST(HttpCliScripted, InterimRepliesAreSkipped) {
  ScriptedServer server([](Conn& conn, int) {
    conn.ReadRequest();
    conn.Write("HTTP/1.1 100 Continue\r\nX-A: 1\r\n\r\nHTTP/1.0 102 Processing\r\n\r\n");
    conn.Pause(50);
    conn.Write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
  });
  THttpCli c;
  HttpTrace trace(c);
  c.SetURL(server.Url());
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_EQ(trace.body, "ok");
  ASSERT_FALSE(c.HeaderLines().empty());
  EXPECT_EQ(c.HeaderLines()[0], "HTTP/1.1 200 OK");
}

TEST(HttpCliScripted, AConnectionThatEndsBeforeTheBodyIsCompleteIsAnError) {
  const std::vector<std::string> replies = {
      "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly ten..",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n",
      "HTTP/1.0 200 OK\r\nContent-Le",
      "",
  };
  for (const std::string& reply : replies) {
    ScriptedServer server([&reply](Conn& conn, int) {
      conn.ReadRequest();
      conn.Write(reply);
    });
    THttpCli c;
    HttpTrace trace(c);
    c.SetURL(server.Url());
    EXPECT_EQ(GetCode(c), 404) << reply;
    EXPECT_EQ(c.ReasonPhrase(), "Connection closed before the reply was complete") << reply;
    EXPECT_EQ(c.DoneErrorCode(), httperrIncomplete) << reply;
    EXPECT_EQ(trace.done, 1);
  }
}

TEST(HttpCliScripted, ABodyWithoutLengthEndsAtTheClose) {
  ScriptedServer server([](Conn& conn, int) {
    conn.ReadRequest();
    conn.Write("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nfirst ");
    conn.Pause(50);
    conn.Write("second");
  });
  THttpCli c;
  HttpTrace trace(c);
  c.SetURL(server.Url());
  EXPECT_EQ(GetCode(c), 0);
  EXPECT_EQ(c.ContentLength(), -1);
  EXPECT_EQ(trace.body, "first second");
}

TEST(HttpCliScripted, AReplyWithoutHeaderIsTakenAsAnHtmlDocument) {
  ScriptedServer server([](Conn& conn, int) {
    conn.ReadRequest();
    conn.Write("<HtMl><body>73</body>\r\n</html>\n");
  });
  THttpCli c;
  HttpTrace trace(c);
  c.SetURL(server.Url("/"));
  EXPECT_EQ(GetCode(c), 0);
  EXPECT_EQ(c.ContentType(), "text/html");
  EXPECT_EQ(trace.body, "<HtMl><body>73</body>\r\n</html>\n");
}

TEST(HttpCliScripted, MalformedRepliesEndTheRequest) {
  struct Row {
    std::string reply;
    std::string reason;
  };
  std::string manyLines = "HTTP/1.0 200 OK\r\n";
  for (int i = 0; i < 300; ++i) manyLines += "X-" + std::to_string(i) + ": 1\r\n";
  const std::vector<Row> rows = {
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n123456789\r\n",
       "Invalid chunk size in reply"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\n", "Invalid chunk size in reply"},
      {"HTTP/1.1 OK\r\n\r\n", "Malformed status line in reply"},
      {manyLines + "\r\n", "Reply header too large"},
  };
  for (const Row& row : rows) {
    ScriptedServer server([&row](Conn& conn, int) {
      conn.ReadRequest();
      conn.Write(row.reply);
      conn.PeerClosed();
    });
    THttpCli c;
    c.SetURL(server.Url());
    EXPECT_EQ(GetCode(c), 404) << row.reason;
    EXPECT_EQ(c.ReasonPhrase(), row.reason);
    EXPECT_EQ(c.DoneErrorCode(), httperrBadReply);
  }
}

TEST(HttpCliScripted, AnOverlongHeaderLineIsCutAndTheReplyGoesOn) {
  ScriptedServer server([](Conn& conn, int) {
    conn.ReadRequest();
    conn.Write("HTTP/1.0 200 OK\r\nX-Long: " + std::string(20000, 'a') +
               "\r\nContent-Length: 2\r\n\r\nok");
  });
  THttpCli c;
  HttpTrace trace(c);
  c.SetURL(server.Url());
  EXPECT_EQ(GetCode(c), 0);
  EXPECT_EQ(trace.body, "ok");
  ASSERT_EQ(c.HeaderLines().size(), 3u);
  EXPECT_LE(c.HeaderLines()[1].size(), 8192u);
}

TEST(HttpCliScripted, ASilentServerMeetsTheDeadline) {
  ScriptedServer server([](Conn& conn, int) {
    conn.ReadRequest();
    conn.PeerClosed(20000);
  });
  THttpCli c;
  HttpTrace trace(c);
  c.SetTimeout(300);
  c.SetURL(server.Url());
  EXPECT_EQ(GetCode(c), 404);
  EXPECT_EQ(c.ReasonPhrase(), "Request timed out");
  EXPECT_EQ(c.DoneErrorCode(), httperrTimedOut);
  EXPECT_EQ(trace.done, 1);
  EXPECT_EQ(c.State(), httpReady);
}

TEST(HttpCliScripted, LocalFailuresAreReportedAsReplies) {
  struct Row {
    std::string url;
    int status;
    std::string reason;
  };
  std::string closed = std::to_string(ClosedPort());
  const std::vector<Row> rows = {
      {"http://127.0.0.1:" + closed + "/", 404, "Connection refused (Error #10061)"},
      {"http://no-such-host.invalid/", 404, "can't resolve hostname to IP address"},
      {"ftp://127.0.0.1:" + closed + "/", 501, "Protocol \"ftp\" not implemented"},
      {"http://127.0.0.1:99999/", 404, ""},
  };
  for (const Row& row : rows) {
    THttpCli c;
    HttpTrace trace(c);
    c.SetURL(row.url);
    EXPECT_EQ(GetCode(c), row.status) << row.url;
    EXPECT_EQ(c.StatusCode(), row.status) << row.url;
    if (!row.reason.empty()) {
      EXPECT_EQ(c.ReasonPhrase(), row.reason) << row.url;
    }
    EXPECT_FALSE(c.ReasonPhrase().empty());
    EXPECT_EQ(trace.done, 1) << row.url;
    EXPECT_EQ(c.State(), httpReady);
  }
}

TEST(HttpCliScripted, ASecondRequestWhileOneRunsIsRefusedAsBusy) {
  ScriptedServer server(
      [](Conn& conn, int index) {
        std::string r = conn.ReadRequest();
        if (index == 0 && r.find("Authorization:") == std::string::npos) {
          conn.Write("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"k2\"\r\n\r\n");
          return;
        }
        conn.Write(kHello);
      },
      2);
  THttpCli c;
  c.SetName("HttpClient");
  c.SetUsername("op");
  c.SetPassword("73");
  std::vector<int> busyCodes;
  std::string busyText;
  int readyStates = 0;
  c.OnStateChange = [&](THttpCli* s) {
    if (s->State() != httpReady) return;
    ++readyStates;
    try {
      s->Get();
    } catch (const EHttpException& e) {
      busyCodes.push_back(e.ErrorCode());
      busyText = e.what();
    }
  };
  c.SetURL(server.Url());
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_EQ(readyStates, 2);  // the 401 and the final reply
  EXPECT_EQ(busyCodes, (std::vector<int>{1, 1}));
  EXPECT_EQ(busyText, "HTTP component HttpClient is busy");
}

TEST(HttpCliScripted, BasicWithoutAUserNameEndsWithTheRefusal) {
  ScriptedServer server(
      [](Conn& conn, int) {
        conn.ReadRequest();
        conn.Write("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"k2\"\r\n\r\n");
      },
      2);
  THttpCli c;
  HttpTrace trace(c);
  c.SetURL(server.Url());
  EXPECT_EQ(GetCode(c), 0);
  EXPECT_EQ(c.StatusCode(), 401);
  EXPECT_EQ(trace.done, 1);
  EXPECT_EQ(server.Accepted(), 1);
}

TEST(HttpCliScripted, RelocationToAnotherPortTakesThatPort) {
  std::string second;
  ScriptedServer target([&second](Conn& conn, int) {
    second = conn.ReadRequest();
    conn.Write(kHello);
  });
  ScriptedServer first([&target](Conn& conn, int) {
    conn.ReadRequest();
    conn.Write("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + target.PortText() +
               "/there#part\r\n\r\n");
  });
  THttpCli c;
  HttpTrace trace(c);
  c.SetURL(first.Url("/here"));
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  auto lines = RequestLines(second);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "GET /there HTTP/1.0");
  EXPECT_EQ(lines[3], "Host: 127.0.0.1:" + target.PortText());
  EXPECT_EQ(trace.locations,
            (std::vector<std::string>{"http://127.0.0.1:" + target.PortText() + "/there"}));
  EXPECT_EQ(trace.done, 1);
  EXPECT_EQ(c.LocationChangeCurCount(), 1);
}

TEST(HttpCliScripted, ARelocationBodyEndedByTheCloseLeavesTheNextReplyWhole) {
  // Over 1.0 the next body was cut; over a kept connection it waited for the deadline.
  for (const std::string version : {"1.0", "1.1"}) {
    ScriptedServer server(
        [&version](Conn& conn, int index) {
          conn.ReadRequest();
          if (index == 0) {
            conn.Write("HTTP/" + version + " 303 See Other\r\nLocation: /next\r\n\r\n" +
                       "The document has moved here.");
            return;
          }
          conn.Write("HTTP/" + version + " 200 OK\r\nContent-Length: 5\r\n\r\nhello");
          if (version == "1.1") conn.PeerClosed();  // kept open
        },
        2);
    THttpCli c;
    TMemoryStream reply;
    c.SetRequestVer(version);
    c.SetTimeout(3000);
    c.SetResponseStream(&reply);
    c.SetURL(server.Url("/here"));
    EXPECT_EQ(GetCode(c), 0) << version << " " << c.ReasonPhrase();
    EXPECT_EQ(reply.Data(), "hello") << version;
    EXPECT_EQ(c.BodyReceivedCount(), 5) << version;
  }
}

TEST(HttpCliScripted, ARelocatedPostIsSentAgainAsGet) {
  std::vector<std::string> seen;
  std::mutex m;
  ScriptedServer server(
      [&](Conn& conn, int index) {
        std::string r = conn.ReadRequest();
        {
          std::lock_guard<std::mutex> lock(m);
          seen.push_back(r.substr(0, r.find("\r\n")));
        }
        if (index == 0) {
          conn.Write("HTTP/1.0 302 Found\r\nLocation: other.htm\r\nContent-Length: 3\r\n\r\nabc");
        } else if (index == 1) {
          conn.Write("HTTP/1.0 301 Moved\r\nLocation: /next\r\n\r\n");
        } else {
          conn.Write(kHello);
        }
      },
      3);
  THttpCli c;
  HttpTrace trace(c);
  TMemoryStream post, reply;
  post.SetData("call=K2");
  c.SetRequestBodyStream(&post);
  c.SetResponseStream(&reply);
  c.SetURL(server.Url("/dir/page.htm"));
  c.PostAndWait();
  EXPECT_EQ(seen, (std::vector<std::string>{"POST /dir/page.htm HTTP/1.0",
                                            "GET /dir/other.htm HTTP/1.0", "GET /next HTTP/1.0"}));
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_EQ(reply.Data(), "hello");  // the relocation replies' bodies are not kept
  EXPECT_EQ(trace.done, 1);
}

TEST(HttpCliScripted, WithoutFollowingTheRelocationReplyStands) {
  ScriptedServer server([](Conn& conn, int) {
    conn.ReadRequest();
    conn.Write("HTTP/1.0 302 Found\r\nLocation: /next\r\n\r\n");
  });
  THttpCli c;
  c.SetFollowRelocation(false);
  c.SetURL(server.Url());
  EXPECT_EQ(GetCode(c), 0);
  EXPECT_EQ(c.StatusCode(), 302);
  EXPECT_EQ(c.Location(), "/next");
}

TEST(HttpCliScripted, TheSixthRelocationInARowIsNotFollowed) {
  ScriptedServer server(
      [](Conn& conn, int index) {
        conn.ReadRequest();
        conn.Write("HTTP/1.0 302 Found\r\nLocation: /hop" + std::to_string(index + 1) + "\r\n\r\n");
      },
      7);
  THttpCli c;
  HttpTrace trace(c);
  std::vector<int> exceeded;
  c.OnLocationChangeExceeded = [&](THttpCli*, int count, bool&) { exceeded.push_back(count); };
  c.SetURL(server.Url("/hop0"));
  EXPECT_EQ(GetCode(c), 0);
  EXPECT_EQ(c.StatusCode(), 302);
  EXPECT_EQ(exceeded, (std::vector<int>{6}));
  EXPECT_EQ(trace.locations.size(), 5u);
  EXPECT_EQ(server.Accepted(), 6);
  EXPECT_EQ(trace.done, 1);
}

TEST(HttpCliScripted, AReplyRangeNeverTurnsTheNextRequestIntoARangeRequest) {
  std::vector<std::string> requests;
  std::mutex m;
  ScriptedServer server(
      [&](Conn& conn, int) {
        std::string r = conn.ReadRequest();
        {
          std::lock_guard<std::mutex> lock(m);
          requests.push_back(r);
        }
        conn.Write(
            "HTTP/1.0 206 Partial\r\nContent-Range: bytes 0-4/10\r\nAccept-Ranges: bytes\r\n"
            "Content-Length: 5\r\n\r\nhello");
      },
      2);
  THttpCli c;
  c.SetURL(server.Url());
  c.GetAndWait();
  EXPECT_EQ(c.ContentRange(), "bytes 0-4/10");
  EXPECT_EQ(c.AcceptRanges(), "bytes");
  c.GetAndWait();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].find("Range:"), std::string::npos);
}

namespace {

// A challenge (type 2) message with the given 8 bytes.
std::string ChallengeMessage(const std::string& challenge) {
  std::string m("NTLMSSP\0", 8);
  auto le32 = [&m](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) m += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  le32(2);
  m += std::string("\0\0\0\0", 4);  // target name: length 0, 0
  le32(48);                         // and its offset
  le32(0x8201);                     // flags
  m += challenge;
  m += std::string(8, '\0');        // context
  m += std::string("\0\0\0\0", 4);  // target information: none
  le32(48);
  return m;
}

std::uint32_t Le16(const std::string& m, std::size_t at) {
  return static_cast<std::uint8_t>(m[at]) | static_cast<std::uint8_t>(m[at + 1]) << 8;
}

}  // namespace

TEST(HttpCliScripted, NtlmTowardTheServerSendsTheRightResponses) {
  const std::string challenge = "\x01\x23\x45\x67\x89\xab\xcd\xef";
  std::string type1, type3;
  ScriptedServer server([&](Conn& conn, int) {
    std::string r = conn.ReadRequest();
    conn.Write(
        "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"k2\"\r\n"
        "WWW-Authenticate: NTLM\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n");
    r = conn.ReadRequest();
    std::size_t at = r.find("Authorization: NTLM ");
    if (at == std::string::npos) return;
    type1 = r.substr(at + 20, r.find("\r\n", at) - at - 20);
    conn.Write("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: NTLM " +
               Base64Encode(ChallengeMessage(challenge)) +
               "\r\nConnection: keep-alive\r\nContent-Length: 4\r\n\r\nnope");
    r = conn.ReadRequest();
    at = r.find("Authorization: NTLM ");
    if (at == std::string::npos) return;
    type3 = Base64Decode(r.substr(at + 20, r.find("\r\n", at) - at - 20));
    conn.Write("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nwelcome");
    conn.PeerClosed();
  });
  THttpCli c;
  HttpTrace trace(c);
  TMemoryStream reply;
  c.SetResponseStream(&reply);
  c.SetURL(server.Url("/secret"));
  c.SetUsername("op");
  c.SetPassword("SecREt01");
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_EQ(reply.Data(), "welcome");
  EXPECT_EQ(trace.done, 1);
  EXPECT_EQ(server.Accepted(), 1);
  EXPECT_EQ(Base64Decode(type1),
            std::string("NTLMSSP\0\1\0\0\0\x07\x82\0\0", 16) + std::string(16, '\0'));
  ASSERT_GE(type3.size(), 64u);
  TNtlmChallenge ch;
  std::copy(challenge.begin(), challenge.end(), ch.begin());
  TNtlmResponse lm = NtlmLmResponse("SecREt01", ch), nt = NtlmNtResponse("SecREt01", ch);
  std::size_t lmAt = Le16(type3, 16), ntAt = Le16(type3, 24);
  ASSERT_LE(ntAt + 24, type3.size());
  EXPECT_EQ(type3.substr(lmAt, 24), std::string(lm.begin(), lm.end()));
  EXPECT_EQ(type3.substr(ntAt, 24), std::string(nt.begin(), nt.end()));
  EXPECT_EQ(type3.substr(Le16(type3, 40), 4), std::string("o\0p\0", 4));  // the user, as Unicode
}

TEST(HttpCliScripted, CloseEndsTheKeptConnection) {
  ScriptedServer server([](Conn& conn, int) {
    conn.ReadRequest();
    conn.Write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    conn.PeerClosed();
  });
  THttpCli c;
  HttpTrace trace(c);
  c.SetRequestVer("1.1");
  c.SetURL(server.Url());
  c.GetAndWait();
  EXPECT_EQ(c.CtrlSocket().State(), wsConnected);
  c.Close();
  ASSERT_TRUE(WaitFor([&] { return trace.done == 2; }));
  EXPECT_EQ(trace.doneRequest, httpCLOSE);
  EXPECT_EQ(c.CtrlSocket().State(), wsClosed);
  EXPECT_EQ(c.StatusCode(), 200);
}

TEST(HttpCliScripted, RequestVersionMustBeOneZeroOrOneOne) {
  THttpCli c;
  try {
    c.SetRequestVer("2.0");
    FAIL();
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode(), 5);
    EXPECT_STREQ(e.what(), "Insupported HTTP version");
  }
  EXPECT_EQ(c.RequestVer(), "1.0");
}

TEST(HttpCliScripted, CancelEndsARunningRequestOnce) {
  ScriptedServer server([](Conn& conn, int) {
    conn.ReadRequest();
    conn.PeerClosed(20000);
  });
  THttpCli c;
  HttpTrace trace(c);
  c.SetURL(server.Url());
  c.Get();
  ASSERT_TRUE(WaitFor([&] { return c.State() == httpWaitingHeader; }));
  c.CancelRequest();
  ASSERT_TRUE(WaitFor([&] { return trace.done > 0; }));
  Pump(100);
  EXPECT_EQ(trace.done, 1);
  EXPECT_EQ(trace.doneError, httperrAborted);
  EXPECT_EQ(c.StatusCode(), 404);
  EXPECT_EQ(c.ReasonPhrase(), "Connection aborted on request");
  EXPECT_EQ(c.State(), httpReady);
}

TEST(HttpCliScripted, PresetBasicCookiesAndContentCodingHeader) {
  std::string request;
  ScriptedServer server([&request](Conn& conn, int) {
    request = conn.ReadRequest();
    conn.Write("HTTP/1.0 200 OK\r\nSet-Cookie: qsl=1\r\nContent-Length: 2\r\n\r\nok");
  });
  THttpCli c;
  std::vector<std::string> cookies;
  c.OnCookie = [&](THttpCli*, const std::string& data, bool& accept) {
    EXPECT_TRUE(accept);
    cookies.push_back(data);
  };
  c.SetServerAuthKind(httpAuthBasic);
  c.SetUsername("op");
  c.SetPassword("73");
  c.SetOptions({httpoEnableContentCoding, httpoUseQuality});
  EXPECT_EQ(c.Options(), (THttpCliOptions{httpoEnableContentCoding, httpoUseQuality}));
  c.SetURL(server.Url());
  c.GetAndWait();
  EXPECT_NE(request.find("\r\nAuthorization: Basic " + Base64Encode("op:73") + "\r\n"),
            std::string::npos);
  EXPECT_NE(request.find("\r\nAccept-Encoding: identity;q=0, *;q=0\r\n"), std::string::npos);
  EXPECT_EQ(cookies, (std::vector<std::string>{"qsl=1"}));
}
