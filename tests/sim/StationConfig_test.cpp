// The station description: catalog, defaults and the station file parser.
#include "sim/StationConfig.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace nxsim;

TEST(SimStationConfig, DefaultStationHasTheMixInOperation) {
    StationConfig st = StationConfig::Default();
    const char* models[] = {"KB-560", "KB-570", "KB-521", "KB-540",
                            "KB-552", "KB-580", "KB-590", "KB-523"};
    for (int s = 0; s < kSlotCount; ++s) {
        const ModuleModel* m = ModelById(st.slot[s].moduleId);
        ASSERT_NE(m, nullptr) << s;
        EXPECT_STREQ(m->name, models[s]);
        EXPECT_EQ(st.slot[s].predefinedId, st.slot[s].moduleId);
        EXPECT_EQ(st.slot[s].nmtState, NmtOperation);
    }
    EXPECT_EQ(st.slot[3].reg(BlkRangeCode, 15), 15);  // K-type
    EXPECT_EQ(st.slot[3].reg(BlkScaleHigh, 0), 10000);
    EXPECT_EQ(st.slot[4].reg(BlkRangeCode, 0), 52);
    EXPECT_EQ(st.slot[5].reg(BlkRangeCode, 7), 83);  // up counter
    EXPECT_EQ(st.mcuIds[0], 0x1001);
    EXPECT_EQ(st.powerIds[0], 0x6001);
    st.setModule(3, 0);
    EXPECT_FALSE(st.slot[3].present());
    EXPECT_EQ(st.slot[3].nmtState, NmtEmpty);
    st.setModule(9, 0x0001);                    // ignored
    EXPECT_EQ(ModelByName("kb-560"), nullptr);  // names are exact
    EXPECT_EQ(ModelById(0x1002), nullptr);
}

TEST(SimStationConfig, ParsesAWholeFile) {
    const QString text =
        "# test station\n"
        "controller = MyStation\n"
        "net-id = 0x10\n"
        "fw-version = 205\n"
        "mcu-version = 201\n"
        "mcu = GW-7010, GW-7010\n"
        "power = KP-220, -\n"
        "light-fault = 0x80000001\n"
        "\n"
        "[slot 2]\n"
        "module = KB-540   # thermocouple\n"
        "predefined = 0x0049\n"
        "state = preoperation\n"
        "redundancy = duplex\n"
        "range-code = 14, 15, 16\n"
        "scale-low = -100, -32768, 65535\n"
        "ch-broken = 0x1E2\n"
        "[ slot 7 ]\n"
        "module = 0x00F1\n"
        "state = 8\n";
    StationConfig st;
    QString error;
    ASSERT_TRUE(ParseStationText(text, &st, &error)) << error.toStdString();
    EXPECT_EQ(st.controllerName, "MyStation");
    EXPECT_EQ(st.netId, 16);
    EXPECT_EQ(st.fwVersionText, "205");
    EXPECT_EQ(st.mcuVersion, 201);
    EXPECT_EQ(st.mcuIds[1], 0x1001);
    EXPECT_EQ(st.powerIds[1], 0);
    EXPECT_EQ(st.lightFault, 0x80000001u);
    EXPECT_FALSE(st.slot[0].present());  // a file starts from an empty station
    const SlotConfig& s = st.slot[2];
    EXPECT_EQ(s.moduleId, 0x0031);
    EXPECT_EQ(s.predefinedId, 0x0049);
    EXPECT_EQ(s.nmtState, NmtPreOperation);
    EXPECT_EQ(s.redundancy, 0x0100);
    EXPECT_EQ(s.reg(BlkRangeCode, 0), 14);
    EXPECT_EQ(s.reg(BlkRangeCode, 2), 16);
    EXPECT_EQ(s.reg(BlkRangeCode, 3), 15);  // the module's default stays
    EXPECT_EQ(s.reg(BlkScaleLow, 0), 0xFF9C);
    EXPECT_EQ(s.reg(BlkScaleLow, 1), 0x8000);
    EXPECT_EQ(s.reg(BlkScaleLow, 2), 0xFFFF);
    EXPECT_EQ(s.chBroken, 0x1E2u);
    EXPECT_EQ(st.slot[7].moduleId, 0x00F1);
    EXPECT_EQ(st.slot[7].nmtState, NmtFwUpdate);
}

TEST(SimStationConfig, TextRoundTrip) {
    StationConfig st = StationConfig::Default();
    st.netId = 33;
    st.slot[4].setReg(BlkAoSafe, 5, 1234);
    st.slot[1].lightEmcy = 0xDEADBEEF;
    StationConfig back;
    QString error;
    ASSERT_TRUE(ParseStationText(StationText(st), &back, &error)) << error.toStdString();
    EXPECT_EQ(back.netId, 33);
    for (int s = 0; s < kSlotCount; ++s) {
        EXPECT_EQ(back.slot[s].moduleId, st.slot[s].moduleId);
        EXPECT_EQ(back.slot[s].blocks, st.slot[s].blocks) << s;
    }
    EXPECT_EQ(back.slot[4].reg(BlkAoSafe, 5), 1234);
    EXPECT_EQ(back.slot[1].lightEmcy, 0xDEADBEEFu);
    // The base key starts from the default station.
    ASSERT_TRUE(ParseStationText("base = default\n[slot 0]\nmodule = empty\n", &back, &error));
    EXPECT_FALSE(back.slot[0].present());
    EXPECT_TRUE(back.slot[1].present());
}

TEST(SimStationConfig, BadInputGivesLineAndReasonAndChangesNothing) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"controller = A\nfoo = 1\n", "line 2: unknown key 'foo'"},
        {"net-id = 248\n", "line 1: net-id = 248 is outside 1..247"},
        {"net-id = abc\n", "line 1: 'abc' is not a number"},
        {"mcu-version = 70000\n", "outside -32768..65535"},
        {"[slot 8]\n", "line 1: slot '8' is outside 0..7"},
        {"[slot x]\n", "slot 'x' is outside"},
        {"[node 1]\n", "unknown section"},
        {"[slot 1]\nmodule = KB-999\n", "line 2: unknown module 'KB-999'"},
        {"[slot 1]\nmodule = KB-521\nrange-code = 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17\n",
         "line 3: 'range-code' takes at most 16 values, found 17"},
        {"[slot 1]\nstate = OPERATION\nmodule = KB-521\n", "line 3: 'module' must be the first"},
        {"range-code = 1\n", "belongs in a [slot N] section"},
        {"just text\n", "line 1: expected 'key = value'"},
        {"net-id =\n", "has no value"},
        {"mcu = GW-7010, GW-7010, GW-7010\n", "at most two"},
        {"[slot 1]\nmodule = KB-521\nalarm-low = 1,,3\n", "'' is not a number"},
        {"\x01\x02\xff\xfe = \x80\n", "unknown key"},
    };
    for (const Case& c : cases) {
        StationConfig st = StationConfig::Default();
        QString error;
        EXPECT_FALSE(ParseStationText(QString::fromLatin1(c.text), &st, &error)) << c.text;
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.expected)))
            << "got: " << error.toStdString() << "\nwanted: " << c.expected;
        EXPECT_EQ(st.controllerName, "NX-4410");
        EXPECT_EQ(st.slot[2].moduleId, 0x004A);
    }
}

TEST(SimStationConfig, LoadsFilesAndReportsUnreadableOnes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("station.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("net-id = 5\r\n[slot 0]\r\nmodule = KB-570\r\n");
    f.close();
    StationConfig st;
    QString error;
    ASSERT_TRUE(LoadStationFile(path, &st, &error)) << error.toStdString();
    EXPECT_EQ(st.netId, 5);
    EXPECT_EQ(st.slot[0].moduleId, 0x0010);
    EXPECT_FALSE(LoadStationFile(dir.filePath("missing.txt"), &st, &error));
    EXPECT_TRUE(error.contains("cannot read station file")) << error.toStdString();
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("net-id = 0\n");
    f.close();
    EXPECT_FALSE(LoadStationFile(path, &st, &error));
    EXPECT_TRUE(error.startsWith(path + ": line 1:")) << error.toStdString();
    EXPECT_EQ(st.netId, 5);
}
