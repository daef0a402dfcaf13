// The pending drive steps: which unit each bit steps, in which order, and
// which bits a step's outcome clears.
#include "firmware/devices/drive_steps.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/feed_pinch.h"

namespace {

// Both doubles write one journal and answer from scripted outcomes.
std::string g_journal;

class ScriptedDonorMng final : public CDonorMng {
 public:
  std::deque<int32_t> results;
  int32_t BackgroundStep() override {
    g_journal += 'D';
    const int32_t lResult = results.front();
    results.pop_front();
    return lResult;
  }
};

struct FeedOutcome {
  int32_t lResult;
  int32_t lDone;  // 2: the roller leaves the flag as it found it
};

class ScriptedProllFeed final : public CProllFeed {
 public:
  std::deque<FeedOutcome> outcomes;
  int32_t Step(int32_t* plDone) override {
    g_journal += 'F';
    const FeedOutcome o = outcomes.front();
    outcomes.pop_front();
    if (o.lDone != 2) *plDone = o.lDone;
    return o.lResult;
  }
};

class DriveSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    g_journal.clear();
    m_pSavedDonor = g_pDonorMng;
    m_pSavedFeed = g_pProllFeed;
    g_pDonorMng = &m_donor;
    g_pProllFeed = &m_feed;
  }
  void TearDown() override {
    g_pDonorMng = m_pSavedDonor;
    g_pProllFeed = m_pSavedFeed;
  }
  ScriptedDonorMng m_donor;
  ScriptedProllFeed m_feed;
  CDonorMng* m_pSavedDonor = nullptr;
  CProllFeed* m_pSavedFeed = nullptr;
};

TEST_F(DriveSteps, NothingPendingStepsNothing) {
  uint32_t ulPending = 0;
  EXPECT_EQ(RunPendingDriveSteps(&ulPending), 0);
  EXPECT_EQ(g_journal, "");
  // Bits above 5 name no drive.
  ulPending = 0xFFC0u;
  EXPECT_EQ(RunPendingDriveSteps(&ulPending), 0);
  EXPECT_EQ(ulPending, 0xFFC0u);
  EXPECT_EQ(g_journal, "");
}

TEST_F(DriveSteps, EachBitIsJudgedByItsOwnStep) {
  struct Case {
    const char* pszWhat;
    uint32_t ulPending;
    std::deque<int32_t> donorResults;
    std::deque<FeedOutcome> feedOutcomes;
    int32_t lReturn;
    uint32_t ulLeft;
    const char* pszJournal;
  };
  const Case kCases[] = {
      {"donor bits: 1 keeps a bit, anything else clears it", 0x0Fu, {1, 0, -1, 1}, {}, 1, 0x09u, "DDDD"},
      {"both feed bits step the roller, each on its own flag", 0x30u, {}, {{0, 0}, {0, 1}}, 0, 0x10u, "FF"},
      {"a feed failure clears its bit", 0x30u, {}, {{-3, 0}, {0, 0}}, 0, 0x20u, "FF"},
      {"a flag the second step leaves is not the first step's", 0x30u, {}, {{0, 1}, {0, 2}}, 0, 0x20u, "FF"},
      {"donor before feed; the last step's result returns", 0x11u, {0}, {{5, 0}}, 5, 0x00u, "DF"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.pszWhat);
    g_journal.clear();
    m_donor.results = c.donorResults;
    m_feed.outcomes = c.feedOutcomes;
    uint32_t ulPending = c.ulPending;
    EXPECT_EQ(RunPendingDriveSteps(&ulPending), c.lReturn);
    EXPECT_EQ(ulPending, c.ulLeft);
    EXPECT_EQ(g_journal, c.pszJournal);
  }
}

}  // namespace
