#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "logbook/ContactLog.h"

namespace {

// The contact log with every path bound to a recorder.
struct Bench {
  double freq = 7025.5;
  std::uint8_t mode = 1;
  TDateTime now = EncodeDateTime(2026, 3, 4, 5, 6, 7);
  TEqslAccount eqsl;
  std::vector<std::string> answers;  // questions asked
  bool answer = true;
  std::vector<std::string> notices;
  std::vector<std::string> records, lines, uploads;
  std::optional<std::string> uploadResult;
  std::function<void()> duringUpload;
  TContactLog log;

  explicit Bench(const std::string& name)
      : log(std::string(std::getenv("TALVO_HOME")) + "/" + name + ".qso.log",
            TContactLinks{
                [this] { return freq; },
                [this] { return mode; },
                [] { return std::string("W1AW"); },
                [this] { return eqsl; },
                [this](const std::string& line) { lines.push_back(line); },
                [this](const std::string& text, const std::string& caption) {
                  answers.push_back(caption + "|" + text);
                  return answer;
                },
                [this](const std::string& text, const std::string& caption, TNoticeIcon) {
                  notices.push_back(caption + "|" + text);
                },
                [this](const std::string& text) {
                  uploads.push_back(text);
                  if (duringUpload) duringUpload();
                  return uploadResult;
                },
                [this](const std::string& record) {
                  records.push_back(record);
                  return true;
                },
                [this] { return now; },
            }) {
    log.NewContact();
  }
  void Type(const std::string& call) {
    log.Fields.Call = call;
    log.CallChanged();
  }
};

TEST(ContactLog, SaveWritesRecordLineAndList) {
  Bench b("save");
  b.log.Fields.SerSent = "001";
  b.Type("dl1abc");
  b.log.LogStart();
  b.now = EncodeDateTime(2026, 3, 4, 5, 16, 0);
  b.log.LogEnd();
  ASSERT_TRUE(b.log.Save());
  const std::string fields =
      "<CALL:6>DL1ABC<QSO_DATE:8>20260304<TIME_ON:6>050607<TIME_OFF:6>051600"
      "<FREQ:8>7.025500<BAND:3>40m<MODE:2>CW<RST_RCVD:3>599<RST_SENT:3>599<STX:3>001";
  ASSERT_EQ(b.records.size(), 1u);
  EXPECT_EQ(b.records[0], fields + "<EOR>");
  ASSERT_EQ(b.lines.size(), 1u);
  EXPECT_EQ(b.lines[0], "LOG DL1ABC " + fields + "<COMMENT:9>Op: W1AW.<EOR>");
  ASSERT_EQ(b.log.WorkedBefore().Lines().size(), 1u);
  EXPECT_EQ(b.log.WorkedBefore().Lines()[0].substr(0, 11), "DL1ABC\t40m\t");
  // Cleared for the next contact, serial counted on.
  EXPECT_EQ(b.log.Fields.Call, "");
  EXPECT_EQ(b.log.Fields.Name, "OM");
  EXPECT_EQ(b.log.Fields.SerSent, "002");
  EXPECT_FALSE(b.log.Unsaved());
  EXPECT_FALSE(b.log.LogButtonsEnabled());
  EXPECT_TRUE(b.answers.empty());
  EXPECT_TRUE(b.uploads.empty());
}

TEST(ContactLog, EmptyCallSavesNothing) {
  Bench b("empty");
  b.log.Fields.Name = "Hans";
  b.log.Fields.Call = "  ";
  EXPECT_FALSE(b.log.Save());
  EXPECT_TRUE(b.records.empty());
  EXPECT_TRUE(b.lines.empty());
  EXPECT_EQ(b.log.Fields.Name, "Hans");
}

TEST(ContactLog, TimesFollowTheCallAndSaveTakesTheLiveFrequency) {
  Bench b("times");
  b.Type("DL");  // too short: nothing taken
  EXPECT_EQ(b.log.StartTime(), 0);
  EXPECT_FALSE(b.log.LogButtonsEnabled());
  b.Type("DL1");
  EXPECT_EQ(b.log.StartTime(), b.now);
  EXPECT_TRUE(b.log.LogButtonsEnabled());
  b.now = EncodeDateTime(2026, 3, 4, 6, 0, 0);
  b.Type("DL1A");
  EXPECT_EQ(b.log.StartTime(), b.now);
  EXPECT_EQ(b.log.CapturedFreq(), 0);  // typing takes no frequency
  b.freq = 14020;
  b.now = EncodeDateTime(2026, 3, 4, 7, 0, 0);
  ASSERT_TRUE(b.log.Save());
  EXPECT_NE(b.records[0].find("<TIME_ON:6>060000<TIME_OFF:6>060000<FREQ:9>14.020000<BAND:3>20m"),
            std::string::npos)
      << b.records[0];
  // New clears the capture: the next contact does not inherit it.
  b.freq = 3550;
  b.Type("G4XYZ");
  ASSERT_TRUE(b.log.Save());
  EXPECT_NE(b.records[1].find("<BAND:3>80m"), std::string::npos);
}

TEST(ContactLog, PromptsOfNewAndHide) {
  Bench b("prompts");
  b.mode = 2;
  b.Type("DL1ABC");
  b.log.LogStart();
  b.answer = false;
  EXPECT_FALSE(b.log.NewContact());
  EXPECT_EQ(b.log.Fields.Call, "DL1ABC");
  b.log.Hiding();
  EXPECT_TRUE(b.records.empty());
  ASSERT_EQ(b.answers.size(), 2u);
  EXPECT_EQ(b.answers[0], "Talvo Client|Abandon contact with DL1ABC?");
  EXPECT_EQ(b.answers[1], "Talvo Client|Save unsaved contact with DL1ABC?");
  b.answer = true;
  b.log.Hiding();
  EXPECT_EQ(b.records.size(), 1u);
  EXPECT_EQ(b.log.Fields.RstSent, "59");  // voice
  b.log.Hiding();                         // nothing unsaved: no question
  EXPECT_EQ(b.answers.size(), 3u);
}

TEST(ContactLog, WorkedBeforeOnTheLiveBand) {
  Bench b("worked");
  b.freq = 14020;
  b.Type("DL1ABC");
  ASSERT_TRUE(b.log.Save());
  b.now = EncodeDateTime(2026, 3, 5, 5, 6, 7);
  b.freq = 7020;
  b.Type("DL1ABC");
  ASSERT_TRUE(b.log.Save());
  struct Row {
    double freq;
    const char* call;
    bool shown;
  } rows[] = {{14200, "dl1abc", true},
              {7100, "DL1ABC", true},
              {21100, "DL1ABC", false},
              {7100, "DL1AB", false}};
  for (const Row& r : rows) {
    b.notices.clear();
    b.freq = r.freq;
    b.Type(r.call);
    if (!r.shown) {
      EXPECT_TRUE(b.notices.empty()) << r.call << " " << r.freq;
      continue;
    }
    ASSERT_EQ(b.notices.size(), 1u);
    const std::string band = BandOf(r.freq);
    EXPECT_EQ(b.notices[0].rfind("Worked before|Worked DL1ABC before on " + band + " at ", 0), 0u)
        << b.notices[0];
  }
}

TEST(ContactLog, EqslQuestionUploadAndRefusalWhileBusy) {
  Bench b("eqsl");
  b.eqsl = {true, "K2HOME", "pw"};
  b.Type("DL1ABC");
  b.uploadResult = "  Error: bad";
  b.duringUpload = [&] {
    // An event during the upload (a macro, the hide prompt) must not save or clear anything.
    EXPECT_TRUE(b.log.Busy());
    b.log.Fields.Call = "G4XYZ";
    EXPECT_FALSE(b.log.Save());
    EXPECT_FALSE(b.log.NewContact());
    b.log.Fields.Call = "DL1ABC";
  };
  ASSERT_TRUE(b.log.Save());
  EXPECT_FALSE(b.log.Busy());
  ASSERT_EQ(b.answers.size(), 1u);
  EXPECT_EQ(b.answers[0], "eQSL contact?|eQSL contact with DL1ABC?");
  ASSERT_EQ(b.uploads.size(), 1u);
  EXPECT_EQ(b.uploads[0].rfind("Talvo v1.0 <ADIF_VER:4>1.00<EQSL_USER:6>K2HOME", 0), 0u);
  EXPECT_EQ(b.records.size(), 1u);
  ASSERT_EQ(b.notices.size(), 1u);
  EXPECT_EQ(b.notices[0], "eQSL real-time logging error|  Error: bad");
  // Answered No: no upload.
  b.answer = false;
  b.Type("G4XYZ");
  ASSERT_TRUE(b.log.Save());
  EXPECT_EQ(b.uploads.size(), 1u);
}

}  // namespace
