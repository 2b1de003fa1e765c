// The job's plan: what a job with these settings does with its buffers and
// at its end, decided once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "job/plan.h"
#include "job/record.h"
#include "jobkit/settings.h"

namespace {

KQDEVMODE Settings(const std::vector<std::pair<std::string, long long>>& fields) {
  jobkit::SettingsBuilder builder;
  for (auto& [field, value] : fields) builder.with(field, value);
  auto record = builder.build(u"KQ PCL6 Laser");
  KQDEVMODE s;
  std::memcpy(&s, record.data(), sizeof s);
  return s;
}

struct ReplayCase {
  std::vector<std::pair<std::string, long long>> fields;
  ReplayOrder replay;
};

// The first replay the settings ask for, in the order booklet, manual
// duplex, transparencies, page order, collated copies.
TEST(JobPlan, ReplayByPrecedence) {
  const ReplayCase cases[] = {
      {{}, ReplayOrder::None},
      {{{"wBooklet", 1}, {"wManualDuplex", 1}, {"wReverseOrder", 1}}, ReplayOrder::BookletPagesAlone},
      {{{"wBooklet", 1}, {"wManualDuplex", 2}}, ReplayOrder::SoftwareBooklet},
      {{{"wBooklet", 1}, {"wManualDuplex", 2}, {"wHardwareBooklet", 2}}, ReplayOrder::PrinterBooklet},
      {{{"wBooklet", 1}, {"wHardwareBooklet", 1}}, ReplayOrder::BookletPagesAlone},
      {{{"wManualDuplex", 1}, {"wMediaType", 3}, {"wOhpMode", 1}}, ReplayOrder::ManualDuplex},
      {{{"wMediaType", 3}, {"wOhpMode", 2}, {"wReverseOrder", 1}}, ReplayOrder::Transparencies},
      {{{"wMediaType", 3}, {"wOhpMode", -1}, {"wReverseOrder", 3}}, ReplayOrder::PageOrder},
      {{{"wMediaType", 2}, {"wOhpMode", 1}}, ReplayOrder::None},
      {{{"wReverseOrder", 2}, {"wCollate", 1}, {"dmCopies", 3}}, ReplayOrder::PageOrder},
      {{{"wCollate", 1}, {"dmCopies", 3}}, ReplayOrder::Collated},
      {{{"wCollate", 1}, {"dmCopies", 1}}, ReplayOrder::None},
      {{{"wCollate", 1}, {"dmCopies", 3}, {"wPrinterCopies", 1}}, ReplayOrder::None},
      {{{"wCollate", 2}, {"dmCopies", 3}}, ReplayOrder::None},
  };
  for (const auto& c : cases) {
    JobPlan plan = PlanFor(Settings(c.fields), SettingsSource::JobRecord);
    EXPECT_EQ(plan.replay, c.replay) << testing::PrintToString(c.fields);
    EXPECT_EQ(plan.bSpooled, c.replay != ReplayOrder::None) << testing::PrintToString(c.fields);
    EXPECT_EQ(plan.route, plan.bSpooled ? BufferRoute::Spooled : BufferRoute::Direct);
  }
}

// Text capture, bypass and a form being recorded come before the spool file
// in that order; only a bypass job or a recording is never spooled, and a
// job on its printer's last settings is not either.
TEST(JobPlan, RoutesAndTheSpoolDecision) {
  struct Case {
    std::vector<std::pair<std::string, long long>> fields;
    SettingsSource source;
    BufferRoute route;
    bool spooled;
  };
  const Case cases[] = {
      {{{"wReverseOrder", 1}}, SettingsSource::JobRecord, BufferRoute::Spooled, true},
      {{{"wReverseOrder", 1}}, SettingsSource::PrintersLast, BufferRoute::Direct, false},
      {{{"wReverseOrder", 1}, {"wBypass", 1}}, SettingsSource::JobRecord, BufferRoute::Bypass, false},
      {{{"wReverseOrder", 1}, {"wOverlayMode", 2}}, SettingsSource::JobRecord, BufferRoute::FormRecording, false},
      {{{"wReverseOrder", 1}, {"wOverlayMode", 1}}, SettingsSource::JobRecord, BufferRoute::Spooled, true},
      // A capture job that asks for a replay makes its spool file all the same.
      {{{"wReverseOrder", 1}, {"wTextCapture", 1}}, SettingsSource::JobRecord, BufferRoute::TextCapture, true},
      {{{"wTextCapture", 1}, {"wTextCaptureMode", 2}, {"wBypass", 1}},
       SettingsSource::JobRecord,
       BufferRoute::Bypass,
       false},
      {{{"wTextCapture", 1}, {"wBypass", 1}}, SettingsSource::PrintersLast, BufferRoute::TextCapture, false},
      {{{"wOverlayMode", 2}, {"wBypass", 1}}, SettingsSource::JobRecord, BufferRoute::Bypass, false},
  };
  for (const auto& c : cases) {
    JobPlan plan = PlanFor(Settings(c.fields), c.source);
    EXPECT_EQ(plan.route, c.route) << testing::PrintToString(c.fields);
    EXPECT_EQ(plan.bSpooled, c.spooled) << testing::PrintToString(c.fields);
  }
}

TEST(JobPlan, FormAndWatermarkPages) {
  EXPECT_EQ(PlanFor(Settings({{"wOverlayMode", 1}}), SettingsSource::JobRecord).form, FormUse::Print);
  EXPECT_EQ(PlanFor(Settings({{"wOverlayMode", 2}}), SettingsSource::JobRecord).form, FormUse::Record);
  EXPECT_EQ(PlanFor(Settings({{"wOverlayMode", 3}}), SettingsSource::JobRecord).form, FormUse::None);
  EXPECT_EQ(PlanFor(Settings({{"wWatermark", 1}}), SettingsSource::JobRecord).watermark, WatermarkPages::Every);
  EXPECT_EQ(PlanFor(Settings({{"wWatermark", 2}, {"wWatermarkFirstOnly", 5}}), SettingsSource::JobRecord).watermark,
            WatermarkPages::FirstOnly);
  EXPECT_EQ(PlanFor(Settings({{"wWatermarkFirstOnly", 1}}), SettingsSource::JobRecord).watermark, WatermarkPages::None);
}

// A booklet record makes a spooled job a booklet, whatever it asked for, and
// stays so when its settings change again.
TEST(JobPlan, ABookletRecordMakesTheJobABooklet) {
  JobData job{};
  job.Settings = Settings({{"wReverseOrder", 1}, {"wManualDuplex", 0}});
  PlanJob(&job, SettingsSource::JobRecord);
  EXPECT_EQ(job.plan.replay, ReplayOrder::PageOrder);
  job.booklet_info.bHaveRecord = TRUE;
  ReplanJob(&job);
  EXPECT_EQ(job.plan.replay, ReplayOrder::BookletPagesAlone);
  job.Settings.dm.dmOrientation = DMORIENT_LANDSCAPE;
  ReplanJob(&job);
  EXPECT_EQ(job.plan.replay, ReplayOrder::BookletPagesAlone);
  // A job that is not spooled has no replay to change.
  job.Settings.wReverseOrder = 0;
  ReplanJob(&job);
  EXPECT_EQ(job.plan.replay, ReplayOrder::None);
}

}  // namespace
