#include "server/config/access_list_editor.h"

#include "access_list_fixture.h"
#include "server/config/access_lists.h"

using server::AccessListEditor;
using server::AccessListKind;
using server::ServerSettings;
using Strings = std::vector<std::string>;

namespace {

TEST(AccessListFieldsTest, CanonicalText) {
    EXPECT_EQ(server::PatternFromFields({10, 0, 255, 255}), "10.0.*.*");
    EXPECT_EQ(server::PatternFromFields({192, std::nullopt, 7, 0}), "192.0.7.0");
    EXPECT_EQ(server::PatternFromFields({}), "0.0.0.0");
    EXPECT_EQ(server::PatternFromFields({255, 1, 254, 100}), "*.1.254.100");
}

class AccessListEditorTest : public acl_test::ScratchTest {
  protected:
    void SetUp() override {
        ScratchTest::SetUp();
        settings_.ADData = pathOf("AllowDeny.dat");
        settings_.AllowList = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
        settings_.bAllow = 1;
        settings_.DenyList = {"*.*.*.*"};
    }
    ServerSettings settings_;
    acl_test::MessageRecorder dialogs_;
};

TEST_F(AccessListEditorTest, AddAppendsInOrderAndRefusesDuplicates) {
    AccessListEditor page(AccessListKind::Allow);
    page.Open(settings_);
    EXPECT_TRUE(page.checked());
    EXPECT_FALSE(page.modified());

    const server::AddResult again = page.Add({10, 0, 0, 1});
    EXPECT_FALSE(again.added);
    EXPECT_EQ(again.message, "Entry already exists");
    EXPECT_FALSE(page.modified());

    EXPECT_TRUE(page.Add({192, 168, std::nullopt, 255}).added);
    EXPECT_TRUE(page.modified());
    EXPECT_TRUE(page.Add({1, 2, 3, 4}).message.empty());
    // The same text from different fields is a duplicate too.
    EXPECT_FALSE(page.Add({192, 168, 0, 255}).added);
    EXPECT_EQ(page.rows(), (Strings{"10.0.0.1", "10.0.0.2", "10.0.0.3", "192.168.0.*", "1.2.3.4"}));
    // A last field of 255 became "*", so any last octet matches.
    EXPECT_TRUE(server::MatchAddressList(page.rows(), "192.168.0.77"));

    // Opening again (the page shown once more) keeps the edits.
    page.Open(settings_);
    EXPECT_EQ(page.rows().size(), 5u);
}

TEST_F(AccessListEditorTest, RemoveTakesOnlyTheSelectedRow) {
    AccessListEditor page(AccessListKind::Allow);
    page.Open(settings_);
    EXPECT_FALSE(page.Remove(std::nullopt));
    EXPECT_FALSE(page.Remove(3));
    EXPECT_FALSE(page.modified());
    EXPECT_TRUE(page.Remove(1));
    EXPECT_EQ(page.rows(), (Strings{"10.0.0.1", "10.0.0.3"}));
    EXPECT_TRUE(page.modified());
}

TEST_F(AccessListEditorTest, ApplyStoresItsFlagAndRowsAndWritesBothLists) {
    AccessListEditor deny(AccessListKind::Deny);
    deny.Open(settings_);
    EXPECT_FALSE(deny.checked());
    deny.SetChecked(true);
    EXPECT_TRUE(deny.modified());
    deny.Add({10, 9, 8, 7});
    ASSERT_TRUE(deny.Apply(settings_, dialogs_));
    EXPECT_EQ(settings_.bDeny, 1u);
    EXPECT_EQ(settings_.DenyList, (Strings{"*.*.*.*", "10.9.8.7"}));
    EXPECT_EQ(settings_.bAllow, 1u);
    EXPECT_FALSE(deny.modified());

    ServerSettings back;
    back.ADData = settings_.ADData;
    server::LoadAccessLists(back);
    EXPECT_EQ(back.AllowList, settings_.AllowList);
    EXPECT_EQ(back.DenyList, settings_.DenyList);
}

TEST_F(AccessListEditorTest, PageNeverOpenedChangesNothing) {
    AccessListEditor page(AccessListKind::Allow);
    page.SetChecked(false);
    EXPECT_TRUE(page.Apply(settings_, dialogs_));
    EXPECT_EQ(settings_.bAllow, 1u);
    EXPECT_EQ(settings_.AllowList.size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(settings_.ADData));
}

TEST_F(AccessListEditorTest, UnwritableFileStillAppliesInMemory) {
    settings_.ADData = pathOf("missing/AllowDeny.dat");
    AccessListEditor page(AccessListKind::Allow);
    page.Open(settings_);
    page.SetChecked(false);
    page.Remove(0);
    EXPECT_FALSE(page.Apply(settings_, dialogs_));
    EXPECT_EQ(dialogs_.messages, Strings{"Unable to create/open file\n" + settings_.ADData});
    EXPECT_EQ(settings_.bAllow, 0u);
    EXPECT_EQ(settings_.AllowList, (Strings{"10.0.0.2", "10.0.0.3"}));
}

}  // namespace
