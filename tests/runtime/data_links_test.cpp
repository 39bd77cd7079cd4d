// Data sources and links: event delivery, deferred notifications while controls are disabled,
// the master link of detail datasets and refused circular links.
#include <gtest/gtest.h>

#include "data_support/memory_dataset.h"
#include "runtime/data/data_link.h"
#include "runtime/data/data_source.h"
#include "runtime/data/db_errors.h"

namespace {

struct RecordingLink : TDataLink {
  std::vector<std::string> events;
  void ActiveChanged() override { events.push_back(Active() ? "active" : "inactive"); }
  void DataSetChanged() override { events.push_back("changed"); }
  void DataSetScrolled(int distance) override { events.push_back("scrolled " + std::to_string(distance)); }
  void RecordChanged(TField* field) override { events.push_back(field ? "record " + field->FieldName().toStdString() : "record"); }
  void EditingChanged() override { events.push_back(Editing() ? "editing" : "not editing"); }
};

class Links : public ::testing::Test {
 protected:
  void SetUp() override {
    master.SetName(QStringLiteral("Master"));
    master.FieldDefs().Add(QStringLiteral("ID"), ftInteger);
    master.Open();
    for (int i = 1; i <= 4; ++i) master.AppendRecord({i});
    master.First();
    source.SetDataSet(&master);
  }
  testdata::MemoryDataSet master;
  TDataSource source{nullptr};
};

TEST_F(Links, LinksFollowStateScrollsAndFieldChanges) {
  RecordingLink link;
  link.SetBufferCount(2);
  link.SetDataSource(&source);
  EXPECT_EQ(link.events, (std::vector<std::string>{"active"}));
  EXPECT_EQ(master.BufferCount(), 2);
  link.events.clear();
  master.Next();
  master.Next();
  EXPECT_EQ(link.events, (std::vector<std::string>{"scrolled 0", "scrolled 1"}));
  EXPECT_EQ(link.ActiveRecord(), 1);
  EXPECT_EQ(link.RecordCount(), 2);
  link.events.clear();
  master.Edit();
  master.FieldByName(QStringLiteral("ID"))->SetAsInteger(30);
  EXPECT_EQ(link.events, (std::vector<std::string>{"editing", "record", "record ID"}));
  link.events.clear();
  master.Post();
  master.Close();
  EXPECT_EQ(link.events.back(), "inactive");
}

TEST_F(Links, DisabledControlsGetOneChangeWhenEnabledAgain) {
  RecordingLink link;
  link.SetDataSource(&source);
  int dataChanges = 0;
  source.OnDataChange = [&](TDataSource*, TField*) { ++dataChanges; };
  link.events.clear();
  master.DisableControls();
  master.Next();
  master.Next();
  master.Last();
  EXPECT_TRUE(link.events.empty());
  EXPECT_EQ(dataChanges, 0);
  master.EnableControls();
  EXPECT_EQ(link.events, (std::vector<std::string>{"changed"}));
  EXPECT_EQ(dataChanges, 1);
}

TEST_F(Links, DisabledDataSourcesReportTheirDatasetInactive) {
  RecordingLink link;
  link.SetDataSource(&source);
  source.SetEnabled(false);
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(source.State(), dsInactive);
  source.SetEnabled(true);
  EXPECT_TRUE(link.Active());
}

TEST_F(Links, MasterLinkReportsMasterChangesForItsFields) {
  testdata::MemoryDataSet detail;
  detail.FieldDefs().Add(QStringLiteral("MASTERID"), ftInteger);
  detail.Open();
  TMasterDataLink masterLink(&detail);
  std::vector<std::string> events;
  masterLink.OnMasterChange = [&](TMasterDataLink* l) {
    events.push_back("change " + std::to_string(l->Fields().at(0)->AsInteger()));
  };
  masterLink.OnMasterDisable = [&](TMasterDataLink*) { events.push_back("disable"); };
  masterLink.SetFieldNames(QStringLiteral("ID"));
  masterLink.SetDataSource(&source);
  ASSERT_EQ(masterLink.Fields().size(), 1u);
  EXPECT_EQ(masterLink.Fields()[0], master.FieldByName(QStringLiteral("ID")));
  master.Next();
  // Naming the fields before a master is attached reports the master as absent.
  EXPECT_EQ(events, (std::vector<std::string>{"disable", "change 1", "change 2"}));
  EXPECT_EQ(masterLink.DetailDataSet(), &detail);

  detail.Edit();
  detail.FieldByName(QStringLiteral("MASTERID"))->SetAsInteger(2);
  master.Next();  // the master's browse check posts the detail's pending edit
  EXPECT_EQ(detail.State(), dsBrowse);
  EXPECT_EQ(detail.FieldByName(QStringLiteral("MASTERID"))->AsInteger(), 2);

  events.clear();
  master.Close();
  EXPECT_EQ(events, (std::vector<std::string>{"disable"}));
  EXPECT_TRUE(masterLink.Fields().empty());
  masterLink.SetDataSource(nullptr);
}

TEST_F(Links, MasterFieldsMustExist) {
  testdata::MemoryDataSet detail;
  TMasterDataLink masterLink(&detail);
  masterLink.SetFieldNames(QStringLiteral("NOPE"));
  try {
    masterLink.SetDataSource(&source);
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Master: Field 'NOPE' not found"));
  }
  EXPECT_TRUE(masterLink.Fields().empty());
  masterLink.SetDataSource(nullptr);
}

// A dataset that follows a master data source, as detail datasets do.
class DetailDataSet : public testdata::MemoryDataSet {
 public:
  DetailDataSet() : masterLink(this) {}
  ~DetailDataSet() override { masterLink.SetDataSource(nullptr); }
  TDataSource* DataSource() const override { return masterLink.DataSource(); }
  TMasterDataLink masterLink;
};

TEST_F(Links, CircularLinksAreRefused) {
  DetailDataSet detail;
  detail.SetName(QStringLiteral("Detail"));
  TDataSource detailSource(nullptr);
  detailSource.SetDataSet(&detail);
  detail.masterLink.SetDataSource(&source);  // Detail follows Master
  EXPECT_TRUE(detail.IsLinkedTo(&detailSource));
  EXPECT_TRUE(master.IsLinkedTo(&detailSource)) << "Detail's master chain leads to Master";
  EXPECT_FALSE(detail.IsLinkedTo(&source));
  EXPECT_TRUE(source.IsLinkedTo(&detail));
  try {
    detail.masterLink.SetDataSource(&detailSource);
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Detail: Circular datalinks are not allowed"));
  }
  DetailDataSet third;
  third.masterLink.SetDataSource(&detailSource);  // Third follows Detail
  TDataSource thirdSource(nullptr);
  thirdSource.SetDataSet(&third);
  TMasterDataLink back(&master);
  EXPECT_THROW(back.SetDataSource(&thirdSource), EDatabaseError) << "Master would follow its own detail's detail";
  EXPECT_EQ(back.DataSource(), nullptr);
}

TEST_F(Links, DestroyingADatasetDetachesItsDataSources) {
  RecordingLink link;
  auto other = std::make_unique<testdata::MemoryDataSet>();
  other->Open();
  TDataSource otherSource(nullptr);
  otherSource.SetDataSet(other.get());
  link.SetDataSource(&otherSource);
  EXPECT_TRUE(link.Active());
  other.reset();
  EXPECT_EQ(otherSource.DataSet(), nullptr);
  EXPECT_FALSE(link.Active());
}

}  // namespace
