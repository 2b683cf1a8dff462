// The backup-server agent's monitor against real processes.
#include <memory>

#include "SybaseBk.h"
#include "SybaseCommon.h"
#include "sybase_fixture.h"

using namespace sybtest;

namespace {

const std::string kBackupserver = sybase_program("backupserver");

class BackupServer : public MonitorTest {
protected:
    BackupServer() : MonitorTest(process_monitor, kBackupserver) {}

    void SetUp() override
    {
        MonitorTest::SetUp();
        attrs_.set("Backupserver", U("BK1"));
        set_installation()
            .set("Server", U("SRV1"))
            .set("SA", "sa")
            .set("SApswd", " sa pw ");
    }
};

TEST(BackupServerStartup, RegistersMonitorInSlotThreeUnderCategory20018)
{
    QENAgStartup();
    EXPECT_EQ(QENAgTestMonitor(), &process_monitor);
    EXPECT_EQ(QENAgTestLogCategory(), 20018);
}

TEST_F(BackupServer, FoundWithUpperCaseOptionAtConfidence100)
{
    auto p = server({"-S", U("BK1"), "-e/log/bk.log"});
    EXPECT_EQ(run(), 1) << dump(log_);
    EXPECT_EQ(confidence_, 100);
    EXPECT_EQ(cookie_text("backupserver" + res_), psinfo_path(p->pid()));
    EXPECT_TRUE(has_debug(log_, "Constructing cookie name for this monitor cycle. The "
                                "constructed name is: backupserver" + res_));
    const Line* set = find_id(log_, QENAG_TEST_CONSOLE, 7);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->tag, "sybasebk_monitor");
    EXPECT_EQ(set->file, "SybaseBk");
    for (const Line& l : log_)
        EXPECT_EQ(l.file, "SybaseBk") << l.raw;

    EXPECT_EQ(run(), 1); // through the cookie
    EXPECT_EQ(confidence_, 100);
    EXPECT_EQ(count_id(log_, 7), 0);
}

TEST_F(BackupServer, LowerCaseOptionIsNotTheBackupServer)
{
    auto p = server({"-s", U("BK1")});
    EXPECT_EQ(run(), 0) << dump(log_);
    EXPECT_EQ(confidence_, 0);
    EXPECT_TRUE(has_debug(log_, "Is not a expected server. (Missing -S option?)"));
    // The not-found trace names the data server.
    EXPECT_TRUE(has_debug(log_, "Could not find a process for data server " + U("SRV1") +
                                    ". Returning OFFLINE."))
        << dump(log_);
}

TEST_F(BackupServer, DataServerProcessIsNotTheBackupServer)
{
    SpawnedProcess ds({"/opt/sybase/bin/dataserver", "-S", U("BK1")}, {}, kOwnerUid);
    ASSERT_TRUE(ds.ok());
    EXPECT_EQ(run(), 0);
}

TEST_F(BackupServer, TrailingBlankInBackupserverIsTrimmed)
{
    auto p = server({"-S" + U("BK1")});
    attrs_.set("Backupserver", U("BK1") + " ");
    EXPECT_EQ(run(), 1) << dump(log_);
    EXPECT_EQ(attrs_.value_after("Backupserver"), U("BK1"));
}

TEST_F(BackupServer, AttributeChecks)
{
    struct Case {
        const char* attr;
        const char* value;
        int id;
        std::string text;
    } cases[] = {
        {"Server", "", 2, "Attribute Server is not specified. Resource state is UNKNOWN."},
        {"Server", "SR V", 1, "Attribute value Server contains spaces. Resource state is UNKNOWN."},
        {"Backupserver", "B K", 1,
         "Attribute value Backupserver contains spaces. Resource state is UNKNOWN."},
        {"Backupserver", "  ", 2,
         "Attribute Backupserver is not specified. Resource state is UNKNOWN."},
        {"SA", "", 2, "Attribute SA is not specified. Resource state is UNKNOWN."},
        {"Home", "\t", 2, "Attribute Home is not specified. Resource state is UNKNOWN."},
        {"Version", "1 5", 1, "Attribute value Version contains spaces. Resource state is UNKNOWN."},
        {"SApswd", " a b ", 0, ""},
        {"Home", " /opt/my sybase ", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.attr) + "=|" + c.value + "|");
        SetUp();
        attrs_.set(c.attr, c.value);
        int state = run();
        if (c.id == 0) {
            EXPECT_EQ(state, 0) << dump(log_);
            continue;
        }
        EXPECT_EQ(state, 2);
        const Line* console = find_id(log_, QENAG_TEST_CONSOLE, c.id);
        ASSERT_NE(console, nullptr) << dump(log_);
        EXPECT_EQ(console->text, c.text);
        EXPECT_EQ(console->tag, "sybasebk_monitor");
        ASSERT_NE(find_id(log_, QENAG_TEST_AGENT, c.id), nullptr);
    }
    SetUp();
    attrs_.set("SApswd", " a b ");
    run();
    EXPECT_EQ(attrs_.value_after("SApswd"), " a b ");
}

TEST_F(BackupServer, OwnerRootIsInvalid)
{
    attrs_.set("Owner", "root");
    EXPECT_EQ(run(), 2);
    const Line* invalid = find_id(log_, QENAG_TEST_CONSOLE, 204);
    ASSERT_NE(invalid, nullptr);
    EXPECT_EQ(invalid->text, "Invalid owner root for Sybase executables was specified");
}

TEST_F(BackupServer, KilledBetweenCyclesReadsOffline)
{
    auto p = server({"-S" + U("BK1")});
    ASSERT_EQ(run(), 1);
    p->kill();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(confidence_, 0);
    const Line* open_failed = find_id(log_, QENAG_TEST_CONSOLE, 301);
    ASSERT_NE(open_failed, nullptr) << dump(log_);
    EXPECT_EQ(open_failed->text, "Open for backupserver failed, setting cookie to NULL");
}

TEST_F(BackupServer, ReusedPidOfAnotherBackupServerIsNotTaken)
{
    SpawnedProcess other({kBackupserver, "-S" + U("BK2")}, {}, kOwnerUid);
    ASSERT_TRUE(other.ok());
    plant_cookie("backupserver" + res_, psinfo_path(other.pid()));
    EXPECT_EQ(run(), 0) << dump(log_);
    const Line* restarted = find_id(log_, QENAG_TEST_CONSOLE, 4);
    ASSERT_NE(restarted, nullptr);
    EXPECT_EQ(restarted->text, "Process backupserver restarted");
}

TEST_F(BackupServer, OwnerKnownOnlyInTheZone)
{
    TempDir zone;
    std::string owner = "zb" + std::to_string(getpid());
    zone.write("usr/bin/id", zone_id_body(owner, static_cast<int>(kOwnerUid)));
    attrs_.set("Owner", owner);
    capable_ = 1;
    zone_id_ = 7;
    zone_root_ = zone.path();
    auto global = server({"-S" + U("BK1")});
    EXPECT_EQ(run(), 0) << dump(log_);
    auto zoned = server({"-S" + U("BK1")}, kOwnerUid, {"QEN_ZONEID=7"});
    EXPECT_EQ(run(), 1) << dump(log_);
    EXPECT_EQ(confidence_, 100);
    EXPECT_EQ(cookie_text("backupserver" + res_), psinfo_path(zoned->pid()));
    for (const Line& l : log_)
        EXPECT_EQ(l.file, "SybaseBk") << l.raw;
}

} // namespace
