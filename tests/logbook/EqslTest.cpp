#include <gtest/gtest.h>

#include "FakeEqsl.h"
#include "logbook/Eqsl.h"
#include "web/HttpCli.h"
#include "web/Url.h"

namespace {

TEST(Eqsl, ReplyReading) {
  struct Row {
    std::string body;
    const char* error;  // nullptr: success
  } rows[] = {
      {"<HTML><BODY>\nResult: 1 out of 1 records added<BR></BODY></HTML>", nullptr},
      {"Result: 1 out of 1 records added", nullptr},
      {"result: 1 out of 1 records added", "result: 1 out of 1 records added"},
      {"<HTML><BODY>\nError: No match on eQSL_User/eQSL_Pswd<BR></BODY></HTML>",
       "  Error: No match on eQSL_User/eQSL_Pswd"},
      {"<CENTER>Warning: Bad record<BR>oops</CENTER>tail", "<CENTER>Warning: Bad recordoops"},
      {"</BODY>x<BODY>\nabc", "</BODY>x<BODY>\nabc"},  // end before start: shown whole
      {"<BODY></BODY>", "The eQSL service gave no result for the contact."},
      {"", "The eQSL service gave no result for the contact."},
      {std::string("Error\0Result: 1 out of 1 records added", 39), "Error"},
      {"<BODY>\n  Error: x </CENTER> y <BR></BODY>", "  Error: x "},
  };
  for (const Row& r : rows) {
    auto error = EqslReplyError(r.body);
    if (r.error == nullptr)
      EXPECT_FALSE(error) << r.body;
    else
      EXPECT_EQ(error.value_or("<success>"), r.error) << r.body;
  }
}

TContact Sample() {
  TContact c;
  c.Fields.Call = "dl1abc";
  c.Fields.RstSent = "599";
  c.Start = EncodeDateTime(2026, 3, 4, 5, 6, 7);
  c.ModeGroup = 3;
  c.FreqKhz = 14070;
  return c;
}

TEST(Eqsl, UploadTextAndUrl) {
  const std::string text = EqslUploadText({true, "K2HOME", "se cret"}, Sample());
  EXPECT_EQ(text,
            "Talvo v1.0 <ADIF_VER:4>1.00<EQSL_USER:6>K2HOME<EQSL_PSWD:7>se cret<EOH>"
            "<CALL:6>DL1ABC<QSO_DATE:8>20260304<TIME_ON:6>050607<BAND:3>20m<MODE:5>PSK31"
            "<RST_SENT:3>599<LOG_PGM:5>Talvo<EOR>");
  EXPECT_EQ(EqslUploadText({true, "K2HOME", ""}, Sample()).find("EQSL_PSWD"), std::string::npos);
  EXPECT_EQ(EqslUrl("h:1", "a b<"), "http://h:1/qslcard/importADIF.cfm?ADIFData=a%20b%3C");
}

TEST(Eqsl, UploadAgainstAFakeServer) {
  const std::string text = EqslUploadText({true, "K2HOME", "pw"}, Sample());
  {
    FakeEqsl server("200 OK", "<HTML><BODY>\nResult: 1 out of 1 records added<BR></BODY></HTML>");
    TEqslUpload upload;
    EXPECT_FALSE(upload.Upload(server.Server(), text));
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string head = server.Requests()[0];
    EXPECT_EQ(
        head.rfind("GET /qslcard/importADIF.cfm?ADIFData=" + PercentEncode(text) + " HTTP/1.0\r\n",
                   0),
        0u)
        << head;
    EXPECT_NE(head.find("User-Agent: Mozilla/4.0 (compatible; QEL)\r\n"), std::string::npos);
    EXPECT_FALSE(upload.Busy());
  }
  {
    FakeEqsl server("200 OK",
                    "<HTML><CENTER><BODY>\nError: No match on eQSL_User<BR></BODY></CENTER>");
    TEqslUpload upload;
    EXPECT_EQ(upload.Upload(server.Server(), text).value_or(""), "  Error: No match on eQSL_User");
  }
  {
    FakeEqsl server("500 Internal Server Error", "broken");
    TEqslUpload upload;
    EXPECT_EQ(upload.Upload(server.Server(), text).value_or(""),
              "EQSL real-time logging failed. Status code: 500. Reason: Internal Server Error.");
  }
}

TEST(Eqsl, UnreachableServerGivesTheFailureBox) {
  int port;
  {
    FakeEqsl closed("200 OK", "");
    port = std::stoi(closed.Server().substr(10));
  }
  TEqslUpload upload;
  upload.HttpClient().SetTimeout(10000);
  std::string error = upload.Upload("127.0.0.1:" + std::to_string(port), "x").value_or("");
  EXPECT_EQ(error.rfind("EQSL real-time logging failed. Status code: 404. Reason: ", 0), 0u)
      << error;
}

}  // namespace
