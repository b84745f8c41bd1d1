// The simulator's own stored formats: what a test or the demo writes by hand must load as
// meant, and what the simulator writes must load back the same.
#include <gtest/gtest.h>

#include "platform/handheld/FaultPlan.h"
#include "platform/handheld/IniFile.h"
#include "platform/handheld/RamDatabase.h"

TEST(StoredDatabase, HandWrittenTextLoadsAsMeantAndStoresBackTheSame) {
    RamDatabase db;
    std::string error;
    ASSERT_TRUE(parseRamDatabase("TarnwickSim database 1\r\n"
                                 "name=Memo DB\nattributes=0x0008\ntype=DATA\ncreator=0x6d656d6f\n"
                                 "# a comment\n\nappinfo=00ff\n"
                                 "record attr=0x40 uid=0x000020 text=a b\\tc\\n\\x00\\\\\n"
                                 "record hex=0102\n",
                                 db, error))
        << error;
    EXPECT_EQ("Memo DB", db.name);
    EXPECT_EQ(0x44415441u, db.type);
    EXPECT_EQ(0x6d656d6fu, db.creator);
    EXPECT_EQ(std::string("\x00\xff", 2), db.appInfo);
    ASSERT_EQ(2u, db.records.size());
    EXPECT_EQ(std::string("a b\tc\n\0\\", 8), db.records[0].data);
    EXPECT_EQ(0x40, db.records[0].attributes);
    EXPECT_EQ(0x20u, db.uniqueIdSeed);  // new records never reuse a stored ID

    RamDatabase again;
    ASSERT_TRUE(parseRamDatabase(storeRamDatabase(db), again, error)) << error;
    EXPECT_EQ(storeRamDatabase(db), storeRamDatabase(again));
    EXPECT_EQ(db.records[0].data, again.records[0].data);
}

TEST(StoredDatabase, RefusesWhatWouldLoadWrongly) {
    RamDatabase db;
    std::string error;
    const char* bad[] = {
        "name=x\n",                                                           // no first line
        "TarnwickSim database 1\nattributes=1\n",                             // no name
        "TarnwickSim database 1\nname=0123456789012345678901234567890123\n",  // name too long
        "TarnwickSim database 1\nname=x\nattributes=0x1\nrecord hex=00\n",    // record in a resource db
        "TarnwickSim database 1\nname=x\nrecord hex=0\n",                     // odd hex
        "TarnwickSim database 1\nname=x\nrecord text=\\q\n",                  // unknown escape
        "TarnwickSim database 1\nname=x\nrecord uid=0x1000000\n",             // uid beyond 24 bits
        "TarnwickSim database 1\nname=x\ncolour=blue\n",                      // unknown key
    };
    for (const char* text : bad) EXPECT_FALSE(parseRamDatabase(text, db, error)) << text;
}

TEST(DeviceIni, SectionsAndKeysInAnyCaseCommentsAfterABlank) {
    IniFile ini = IniFile::parse("[device]\r\nCOMPANION = 2 ; mode\r\nLabel=a;b\r\n[Faults]\r\nx=SmOpenDb\r\ny=VFSFileGet\r\n");
    EXPECT_EQ(2, ini.getInt("Device", "Companion", -1));
    EXPECT_EQ("a;b", ini.get("DEVICE", "label"));
    EXPECT_EQ(-1, ini.getInt("Device", "Vfs", -1));
    ASSERT_EQ(2u, ini.entries("faults").size());
    EXPECT_EQ("VFSFileGet", ini.entries("faults")[1].second);
}

TEST(FaultRules, ParseAndCountPerRule) {
    FaultPlan plan;
    EXPECT_FALSE(plan.add(""));
    EXPECT_FALSE(plan.add("SmOpenDb nth=0"));
    EXPECT_FALSE(plan.add("SmOpenDb result=abc"));
    ASSERT_TRUE(plan.add("SmOpenDb name=A nth=2 result=-5"));
    ASSERT_TRUE(plan.add("smopendb times=1 result=0x10"));
    // The first call: rule 1 counts it (1st of A, no fire), rule 2 fires.
    FaultHit hit = plan.check("SmOpenDb", "a");
    EXPECT_TRUE(hit.fires);
    EXPECT_EQ(16, hit.result);
    // The second call of A fires rule 1; rule 2 is spent.
    hit = plan.check("SmOpenDb", "A");
    EXPECT_TRUE(hit.fires);
    EXPECT_EQ(-5, hit.result);
    EXPECT_FALSE(plan.check("SmOpenDb", "A").fires);
    EXPECT_FALSE(plan.check("SmCloseDb", "A").fires);
    EXPECT_EQ(2, plan.fired());
}
