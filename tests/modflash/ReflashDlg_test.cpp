#include "modflash/ReflashDlg.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "FakeResponder_support.h"
#include "modflash/FlashProtocol.h"
#include "platform/EventWait.h"
#include "platform/dialogs.h"
#include "sim/StationSim.h"
#include "tests/support/CaptionsFit.h"
#include "tests/support/ScriptedDialogs.h"

using namespace modflash;

namespace {

using Id = CReflashDlg::ControlId;

// The dialog with its waits timed and recorded.
class RecordingDlg : public CReflashDlg {
  public:
    struct Wait {
        QString message;
        uint32_t requested;
        qint64 tookMs;
        QString boxTitle;  // the modal box seen while waiting
    };
    std::vector<Wait> waits;

  protected:
    void ShowWait(const QString& message, uint32_t durationMs) override {
        QString title;
        QTimer::singleShot(0, [&title] {
            if (QWidget* w = QApplication::activeModalWidget()) title = w->windowTitle();
        });
        WaitClock& clock = Timing().waitClock ? *Timing().waitClock : RealWaitClock();
        const uint32_t start = clock.Now();
        CReflashDlg::ShowWait(message, durationMs);
        waits.push_back({message, durationMs, clock.Now() - start, title});
    }
};

// Scripted dialogs that also note what the screen showed at each message.
class ObservingDialogs : public rt::ScriptedDialogs {
  public:
    std::function<void()> atMessage;
    int MsgBox(const std::string& prompt, int style, const std::string& title) override {
        if (atMessage) atMessage();
        return ScriptedDialogs::MsgBox(prompt, style, title);
    }
};

// A clock on which time passes only while a wait box's worker pauses, so a
// wait of seconds runs in a moment.
class SteppedClock : public WaitClock {
  public:
    uint32_t Now() override { return now_.load(); }
    void Pause(uint32_t ms) override { now_ += ms; }

  private:
    std::atomic<uint32_t> now_{1000};
};

bool ProgressWindowShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle().startsWith(QStringLiteral("Progress"))) return true;
    return false;
}

// Shortened waits for the tests that are not about the waits' lengths.
void UseQuickWaits(ModflashTiming& t) {
    t.waitPreOpMs = 20;
    t.waitBootloaderMs = 60;
    t.waitFinishMs = 40;
    t.waitResetMs = 150;
    t.waitOperationMs = 150;
    t.waitCapMs = 120;
    t.chunkStatusTimeoutMs = 300;
}

QByteArray TestImage(int size, int seed) {
    QByteArray image(size, '\0');
    uint32_t x = static_cast<uint32_t>(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        image[i] = static_cast<char>(x >> 16);
    }
    return image;
}

// A summary of one request: reads by register, writes by their words.
std::string Describe(const nxsim::LogEntry& e) {
    char text[64];
    if (e.function == 4) {
        std::snprintf(text, sizeof text, "read %04X", e.address);
        return text;
    }
    if (e.function == 16 && e.address == 0x8000 && e.values.size() >= 3) {
        std::snprintf(text, sizeof text, "cmd %04X %d %d", e.values[0], e.values[1], e.values[2]);
        if (e.values[0] == 0x0081 && e.values.size() == 5)
            std::snprintf(text, sizeof text, "init %d %u", e.values[1],
                          static_cast<unsigned>(e.values[3]) << 16 | e.values[4]);
        return text;
    }
    if (e.function == 16 && e.address == 0x0200 && e.values.size() >= 3) {
        std::snprintf(text, sizeof text, "chunk %d %d", e.values[1], e.values[2]);
        return text;
    }
    std::snprintf(text, sizeof text, "fc %d %04X", e.function, e.address);
    return text;
}

// Every Modbus request in the log has had its reply sent.
bool AllAnswered(const QVector<nxsim::LogEntry>& log) {
    int owed = 0;
    for (const auto& e : log)
        if (e.channel == nxsim::Channel::Modbus)
            owed += e.direction == nxsim::Direction::Received ? 1 : -1;
    return owed == 0;
}

class ReflashDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rt::SetDialogs(&dialogs);
        QString error;
        nxsim::SimOptions options;
        ASSERT_TRUE(sim.start(options, &error)) << error.toStdString();
        sim.setScrambleTable(FwScrambleTable);
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override {
        rt::SetDialogs(nullptr);
        sim.stop();
    }

    template <typename T>
    T* Ctl(int id) {
        return qobject_cast<T*>(dlg.GetDlgItem(id));
    }
    void Connect() {
        dlg.SetStationPort(sim.modbusPort());
        Ctl<QLineEdit>(Id::IDC_IP)->setText(QStringLiteral("127.0.0.1"));
        dlg.OnConnect();
        ASSERT_TRUE(dlg.GetDlgItem(Id::IDC_DISCONNECT)->isEnabled());
    }
    void ChooseSlot(int slot) {
        Ctl<QComboBox>(Id::IDC_SLOT)->setCurrentIndex(slot);
        dlg.OnSelchangeSlot();
    }
    QString WriteFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QString FirmwareFile(uint16_t moduleId, const QByteArray& image) {
        QByteArray header(16, '\x5A');
        header[1] = static_cast<char>(moduleId >> 8);
        header[2] = static_cast<char>(moduleId & 0xFF);
        return WriteFile(QStringLiteral("module.fw"), header + image);
    }
    // Presses Browse and picks the file; returns the message shown last.
    std::string Browse(const QString& path) {
        dialogs.AnswerFile({true, path.toStdString(), "module.fw"});
        dialogs.AnswerMsgBox(rt::vbOK);
        dlg.OnBrowse();
        return dialogs.shown.empty() ? std::string() : dialogs.shown.back().prompt;
    }
    // The requests of the run, keep-alive reads left out and repeated status
    // reads of one chunk counted once.
    std::vector<std::string> Sequence() const {
        std::vector<std::string> out;
        for (const auto& e : sim.received(nxsim::Channel::Modbus)) {
            if (e.function == 4 && e.address == kRegKeepAlive) continue;
            const std::string d = Describe(e);
            if (!out.empty() && out.back() == d && d.rfind("read 1", 0) == 0) continue;
            out.push_back(d);
        }
        return out;
    }
    int FunctionCount(int function) const {
        int n = 0;
        for (const auto& e : sim.received(nxsim::Channel::Modbus)) n += e.function == function;
        return n;
    }
    // Lets events run until the stand-in has sent the reply of every request
    // in its log; each frame it logs wakes the wait.
    bool WaitUntilAllAnswered() {
        QObject wake;
        QObject::connect(
            &sim, &nxsim::StationSim::frameLogged, &wake, [] {}, Qt::QueuedConnection);
        return rt::WaitUntil([&] { return AllAnswered(sim.log()); }, 5000);
    }
    bool Enabled(int id) { return dlg.GetDlgItem(id)->isEnabled(); }
    void ExpectButtonsBack() {
        EXPECT_TRUE(Enabled(Id::IDC_BROWSE));
        EXPECT_TRUE(Enabled(Id::IDC_DISCONNECT));
        EXPECT_TRUE(Enabled(Id::IDC_EXIT));
    }

    ObservingDialogs dialogs;
    nxsim::StationSim sim;
    QTemporaryDir dir;
    RecordingDlg dlg;
};

std::vector<std::string> ExpectedUpgrade(int slot, int size, bool enterBootloader = true) {
    const int chunks = (size + 127) / 128;
    char b[64];
    std::vector<std::string> s;
    std::snprintf(b, sizeof b, "read %04X", 0x0240 + slot);
    s.push_back(b);
    std::snprintf(b, sizeof b, "read %04X", 0x0250 + slot);
    const std::string mode = b;
    s.push_back(mode);
    if (enterBootloader) {
        std::snprintf(b, sizeof b, "cmd 0001 %d 1", slot);
        s.push_back(b);
        std::snprintf(b, sizeof b, "cmd 0080 %d 3", slot);
        s.push_back(b);
    }
    s.push_back(mode);
    std::snprintf(b, sizeof b, "init %d %d", slot, size);
    s.push_back(b);
    std::snprintf(b, sizeof b, "read %04X", 0x1400 + 0x100 * slot);
    const std::string status = b;
    for (int c = 0; c < chunks; ++c) {
        const int n = std::min(128, size - 128 * c);
        std::snprintf(b, sizeof b, "chunk %d %d", slot, n);
        s.push_back(b);
        s.push_back(status);
    }
    std::snprintf(b, sizeof b, "cmd 0080 %d 1", slot);
    s.push_back(b);
    std::snprintf(b, sizeof b, "cmd 0080 %d 2", slot);
    s.push_back(b);
    s.push_back(mode);
    return s;
}

}  // namespace

TEST_F(ReflashDlgTest, StartsDisconnectedWithItsCaptionAddressAndSlots) {
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("NX-4410 modflash v1.1.0.2"));
    EXPECT_EQ(Ctl<QLineEdit>(Id::IDC_IP)->text(), QStringLiteral("192.168.255.1"));
    auto* slotList = Ctl<QComboBox>(Id::IDC_SLOT);
    ASSERT_EQ(slotList->count(), 8);
    EXPECT_EQ(slotList->currentIndex(), 0);
    EXPECT_EQ(slotList->itemText(7), QStringLiteral("7"));
    for (int id : {1003, 1012, 1002, 1011, 1001}) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {1004, 1006, 1009, 1010, 1007, 1008, 1000}) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(Ctl<QPushButton>(Id::IDC_CONNECT)->text(), QStringLiteral("Connect"));
    EXPECT_TRUE(Ctl<QPushButton>(Id::IDC_CONNECT)->isDefault());
}

TEST_F(ReflashDlgTest, AFailedConnectCanBeTriedAgain) {
    uint16_t closedPort = 0;
    {
        test::FakeResponder gone([](const Frame&) { return test::FakeAnswer{}; });
        closedPort = gone.Port();
    }
    dlg.SetStationPort(closedPort);
    Ctl<QLineEdit>(Id::IDC_IP)->setText(QStringLiteral("127.0.0.1"));
    dlg.OnConnect();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Failed to Connect");
    EXPECT_EQ(dialogs.shown[0].title, "");
    EXPECT_TRUE(Enabled(Id::IDC_CONNECT));
    EXPECT_FALSE(Enabled(Id::IDC_DISCONNECT));
    // The socket was released: the next Connect creates a new one.
    Connect();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(Ctl<QLabel>(Id::IDC_MODULE_NAME)->text(), QStringLiteral("KB-560"));
}

TEST_F(ReflashDlgTest, ConnectShowsSlotZeroAndTheListShowsTheChosenSlot) {
    sim.updateStation([](nxsim::StationConfig& st) {
        st.slot[3].moduleId = 76;  // a module this program does not know
        st.setModule(4, 0);        // empty
    });
    Connect();
    for (int id : {1006, 1000, 1008, 1007, 1009, 1010, 1004, 1001}) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(Id::IDC_CONNECT));
    auto* name = Ctl<QLabel>(Id::IDC_MODULE_NAME);
    EXPECT_EQ(name->text(), QStringLiteral("KB-560"));
    ChooseSlot(6);
    EXPECT_EQ(name->text(), QStringLiteral("KB-590"));
    ChooseSlot(3);
    EXPECT_EQ(name->text(), QStringLiteral("Not supportted"));
    ChooseSlot(4);
    EXPECT_EQ(name->text(), QStringLiteral("Null"));
    ChooseSlot(5);
    EXPECT_EQ(name->text(), QStringLiteral("KB-580"));

    dlg.OnDisconnect();
    EXPECT_TRUE(name->text().isEmpty());
    for (int id : {1006, 1000, 1008, 1007, 1009, 1010, 1004}) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(Id::IDC_CONNECT));
    // Reconnecting shows slot 0 while the list keeps slot 5.
    Connect();
    EXPECT_EQ(name->text(), QStringLiteral("KB-560"));
    EXPECT_EQ(Ctl<QComboBox>(Id::IDC_SLOT)->currentIndex(), 5);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ReflashDlgTest, KeepAliveReadsOneRegisterOnlyWhileConnected) {
    dlg.Timing().keepAlivePeriodMs = 40;
    Connect();
    const auto keepAlives = [&] {
        int n = 0;
        for (const auto& e : sim.received(nxsim::Channel::Modbus))
            n += e.function == 4 && e.address == kRegKeepAlive && e.quantity == 1;
        return n;
    };
    // Several, one per period; the deadline only ends a wait that fails.
    EXPECT_TRUE(rt::WaitUntil([&] { return keepAlives() >= 3; }, 10000));
    dlg.OnDisconnect();
    const auto before = sim.received(nxsim::Channel::Modbus).size();
    rt::WaitUntil([] { return false; }, 200);
    EXPECT_EQ(sim.received(nxsim::Channel::Modbus).size(), before);
}

TEST_F(ReflashDlgTest, NoFileOrNoPathIsRefusedWithItsErrorBox) {
    Connect();
    dialogs.AnswerFile({false, "", ""});
    dialogs.AnswerMsgBox(rt::vbOK);
    dlg.OnBrowse();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].kind, rt::ScriptedDialogs::Shown::File);
    EXPECT_EQ(dialogs.shown[0].file.fileName, "*.fw");
    EXPECT_EQ(dialogs.shown[0].file.filter, "Norvane Firmware(*.fw)|*.fw|");
    EXPECT_EQ(dialogs.shown[0].file.defaultExt, "fw");
    EXPECT_FALSE(dialogs.shown[0].file.save);
    EXPECT_EQ(dialogs.shown[1].prompt, "Please select file.");
    EXPECT_EQ(dialogs.shown[1].title, "Error");

    dialogs.AnswerFile({true, "", ""});
    dialogs.AnswerMsgBox(rt::vbOK);
    dlg.OnBrowse();
    EXPECT_EQ(dialogs.shown.back().prompt, "The path of the file is not correct.");
    EXPECT_EQ(dialogs.shown.back().title, "Error");

    const std::string missing = dir.filePath(QStringLiteral("absent.fw")).toStdString();
    EXPECT_EQ(Browse(QString::fromStdString(missing)),
              "Can't open file " + missing + ", error = 2");
    EXPECT_EQ(Ctl<QLineEdit>(Id::IDC_PATH)->text().toStdString(), missing);
    // A long path is shown whole.
    std::string deep = dir.path().toStdString();
    for (int i = 0; i < 5; ++i) deep += "/" + std::string(250, static_cast<char>('a' + i));
    deep += "/module.fw";
    EXPECT_EQ(Browse(QString::fromStdString(deep)), "Can't open file " + deep + ", error = 2");
    EXPECT_EQ(FunctionCount(16), 0);
    EXPECT_TRUE(dialogs.unexpected.empty());
}

TEST_F(ReflashDlgTest, FilesWithoutAWholeHeaderAndImageAreRefused) {
    Connect();
    ChooseSlot(2);
    sim.clearLog();
    const QByteArray header(16, '\0');
    for (const QByteArray& bytes : {QByteArray(), QByteArray(10, '\x01'), header}) {
        EXPECT_EQ(Browse(WriteFile(QStringLiteral("short.fw"), bytes)),
                  "Failed to read firmware file.")
            << bytes.size();
        EXPECT_EQ(dialogs.shown.back().title, "");
    }
    // Refused before the module is even asked.
    EXPECT_TRUE(sim.received(nxsim::Channel::Modbus).isEmpty());
}

TEST_F(ReflashDlgTest, AFileForAnotherModuleOrAnEmptySlotIsNotSent) {
    sim.updateStation([](nxsim::StationConfig& st) { st.setModule(4, 0); });
    Connect();
    ChooseSlot(2);  // KB-521, ID 0x004A
    sim.clearLog();
    EXPECT_EQ(Browse(FirmwareFile(0x0001, TestImage(300, 1))),
              "Firmware file and actual module are not match.");
    // An empty slot reads ID 0, which no file matches, not even one for ID 0.
    ChooseSlot(4);
    EXPECT_EQ(Browse(FirmwareFile(0x0000, TestImage(300, 1))),
              "Firmware file and actual module are not match.");
    EXPECT_EQ(FunctionCount(16), 0);
    ExpectButtonsBack();
}

TEST_F(ReflashDlgTest, UpgradeSendsTheImageAndReportsSuccess) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(2);
    sim.clearLog();
    const QByteArray image = TestImage(300, 7);

    // Sample the dialog while the chunks go out (the progress window pumps).
    bool sawProgress = false, buttonsOffDuringTransfer = true;
    int barMaximum = -1;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || !w->windowTitle().startsWith(QStringLiteral("Progress")))
                continue;
            sawProgress = true;
            if (auto* bar = w->findChild<QProgressBar*>()) barMaximum = bar->maximum();
            buttonsOffDuringTransfer = buttonsOffDuringTransfer && !Enabled(Id::IDC_BROWSE) &&
                                       !Enabled(Id::IDC_DISCONNECT) && !Enabled(Id::IDC_EXIT);
        }
    });
    sampler.start(0);
    EXPECT_EQ(Browse(FirmwareFile(0x004A, image)), "Upgrade firmware success.");
    sampler.stop();
    EXPECT_EQ(dialogs.shown.back().title, "");
    EXPECT_TRUE(dialogs.unexpected.empty());

    EXPECT_EQ(Sequence(), ExpectedUpgrade(2, 300));
    const nxsim::FirmwareUpload fw = sim.firmware(2);
    EXPECT_EQ(fw.expectedSize, 300u);
    EXPECT_EQ(fw.image, image);
    EXPECT_TRUE(fw.finished);
    EXPECT_EQ(fw.resets, 1);
    ASSERT_EQ(fw.rawChunks.size(), 3);
    EXPECT_EQ(fw.rawChunks[2].size(), 44);
    // The first chunk of a block goes out as it stands in the file.
    EXPECT_EQ(fw.rawChunks[0], image.left(128));
    EXPECT_NE(fw.rawChunks[1], image.mid(128, 128));

    EXPECT_TRUE(sawProgress);
    EXPECT_EQ(barMaximum, 3);
    EXPECT_TRUE(buttonsOffDuringTransfer);
    ExpectButtonsBack();
    EXPECT_EQ(sim.station().slot[2].nmtState, nxsim::NmtOperation);
}

TEST_F(ReflashDlgTest, ImagesEndingInAShortOrOneByteChunk) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(6);  // KB-590
    for (const int size : {257, 129, 1, 1000}) {
        sim.clearLog();
        const QByteArray image = TestImage(size, size);
        EXPECT_EQ(Browse(FirmwareFile(0x00F1, image)), "Upgrade firmware success.") << size;
        EXPECT_EQ(Sequence(), ExpectedUpgrade(6, size)) << size;
        const nxsim::FirmwareUpload fw = sim.firmware(6);
        EXPECT_EQ(fw.image, image) << size;
        ASSERT_EQ(fw.rawChunks.size(), (size + 127) / 128);
        EXPECT_EQ(fw.rawChunks.back().size(), size % 128 == 0 ? 128 : size % 128);
    }
    // The frame of a last one-byte chunk: N = 1, Q = 4, BC = 8, Length 15,
    // data 00 then the byte as the block's pass left it (the chunk's own
    // pass does nothing to one byte).
    sim.clearLog();
    const QByteArray image = TestImage(129, 3);
    EXPECT_EQ(Browse(FirmwareFile(0x00F1, image)), "Upgrade firmware success.");
    QByteArray last;
    for (const auto& e : sim.received(nxsim::Channel::Modbus))
        if (e.function == 16 && e.address == RegDataMailbox) last = e.bytes;
    const char sent =
        static_cast<char>(static_cast<uint8_t>(image[128]) ^
                          FwScrambleTable[(static_cast<uint8_t>(image[0]) + 128) % 64]);
    const QByteArray expected =
        QByteArray::fromHex("0102 0000 000F 01 10 0200 0004 08 8000 0006 0001 00") + sent;
    EXPECT_EQ(last.toHex(' '), expected.toHex(' '));
}

TEST_F(ReflashDlgTest, AModuleInItsBootloaderGetsNoSwitchCommands) {
    UseQuickWaits(dlg.Timing());
    sim.updateStation([](nxsim::StationConfig& st) { st.slot[5].nmtState = nxsim::NmtFwUpdate; });
    Connect();
    ChooseSlot(5);
    sim.clearLog();
    const QByteArray image = TestImage(200, 5);
    EXPECT_EQ(Browse(FirmwareFile(0x00A0, image)), "Upgrade firmware success.");
    EXPECT_EQ(Sequence(), ExpectedUpgrade(5, 200, false));
    EXPECT_EQ(sim.firmware(5).image, image);
    // Only the waits after finish and reset.
    ASSERT_EQ(dlg.waits.size(), 3u);
    EXPECT_EQ(dlg.waits[0].message, QStringLiteral("Waiting for finish firmware update."));
}

TEST_F(ReflashDlgTest, AChunkNeverAcceptedEndsTheRunAndTheNextRunGoesOn) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(1);  // KB-570
    nxsim::SlotBehaviour b;
    b.stallFromChunk = 1;
    sim.setSlotBehaviour(1, b);
    const QByteArray image = TestImage(400, 9);
    const QString file = FirmwareFile(0x0010, image);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Browse(file), "Failed to upgrade firmware. (Reading status timeout)");
    EXPECT_GE(t.elapsed(), dlg.Timing().chunkStatusTimeoutMs);
    ExpectButtonsBack();
    EXPECT_EQ(sim.firmware(1).chunks, 2);
    EXPECT_FALSE(sim.firmware(1).finished);
    EXPECT_EQ(sim.station().slot[1].nmtState, nxsim::NmtFwUpdate);
    // Still connected and usable: the module, left in its bootloader, takes
    // the whole image on the next run without the switch commands.
    sim.setSlotBehaviour(1, nxsim::SlotBehaviour());
    sim.clearLog();
    EXPECT_EQ(Browse(file), "Upgrade firmware success.");
    EXPECT_EQ(Sequence(), ExpectedUpgrade(1, 400, false));
    EXPECT_EQ(sim.firmware(1).image, image);
}

TEST_F(ReflashDlgTest, ATransferFailureIsShownOverTheProgressWindow) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(1);  // KB-570
    struct Seen {
        bool window = false, buttonsOff = false;
    } seen;
    dialogs.atMessage = [&] {
        seen.window = ProgressWindowShown();
        seen.buttonsOff =
            !Enabled(Id::IDC_BROWSE) && !Enabled(Id::IDC_DISCONNECT) && !Enabled(Id::IDC_EXIT);
    };
    const QString file = FirmwareFile(0x0010, TestImage(400, 9));

    // A chunk that is never accepted: the message comes while the window is
    // still up and the buttons still off; then they come back and it goes.
    nxsim::SlotBehaviour stall;
    stall.stallFromChunk = 1;
    sim.setSlotBehaviour(1, stall);
    EXPECT_EQ(Browse(file), "Failed to upgrade firmware. (Reading status timeout)");
    EXPECT_TRUE(seen.window);
    EXPECT_TRUE(seen.buttonsOff);
    EXPECT_FALSE(ProgressWindowShown());
    ExpectButtonsBack();

    // A chunk write left unanswered: the same order.
    sim.setSlotBehaviour(1, nxsim::SlotBehaviour());
    seen = Seen();
    nxsim::FaultRule silent;
    silent.function = 16;
    silent.addressFirst = RegDataMailbox;
    silent.command = MailboxFwChunk;
    silent.kind = nxsim::FaultKind::NoReply;
    silent.skip = 1;
    sim.addFault(silent);
    EXPECT_EQ(Browse(file), "Failed to upgrade firmware. (Timeout)");
    EXPECT_TRUE(seen.window);
    EXPECT_TRUE(seen.buttonsOff);
    EXPECT_FALSE(ProgressWindowShown());
    ExpectButtonsBack();

    // A chunk write the module refuses: the run ends there, nothing skipped.
    sim.clearFaults();
    seen = Seen();
    nxsim::FaultRule refused = silent;
    refused.kind = nxsim::FaultKind::Exception;
    sim.addFault(refused);
    sim.clearLog();
    EXPECT_EQ(Browse(file), "Failed to upgrade firmware. (Exception)");
    EXPECT_TRUE(seen.window);
    EXPECT_TRUE(seen.buttonsOff);
    EXPECT_EQ(sim.firmware(1).chunks, 1);
    EXPECT_EQ(Sequence().back(), "chunk 1 128");
    ExpectButtonsBack();

    // After a whole image the window is gone and the buttons are back before
    // the module is finished, so the last message finds them so.
    sim.clearFaults();
    seen = Seen();
    EXPECT_EQ(Browse(file), "Upgrade firmware success.");
    EXPECT_FALSE(seen.window);
    EXPECT_FALSE(seen.buttonsOff);
}

TEST_F(ReflashDlgTest, ChunkStatusTimeoutTakesItsFullTime) {
    Connect();  // production timing: 2500 ms per chunk at most
    ChooseSlot(0);
    sim.updateStation([](nxsim::StationConfig& st) { st.slot[0].nmtState = nxsim::NmtFwUpdate; });
    nxsim::SlotBehaviour b;
    b.stallFromChunk = 0;
    sim.setSlotBehaviour(0, b);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Browse(FirmwareFile(0x0001, TestImage(64, 2))),
              "Failed to upgrade firmware. (Reading status timeout)");
    EXPECT_GE(t.elapsed(), 2500);
    EXPECT_LT(t.elapsed(), 6000);
}

TEST_F(ReflashDlgTest, AFileCutShortDuringTheTransferIsNotFinished) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(2);
    const QString path = FirmwareFile(0x004A, TestImage(20000, 12));
    // Cut the file down while the first chunks go out.
    QTimer cutter;
    QObject::connect(&cutter, &QTimer::timeout, [&] {
        if (sim.firmware(2).chunks > 0) {
            QFile::resize(path, 16 + 5000);
            cutter.stop();
        }
    });
    cutter.start(0);
    EXPECT_EQ(Browse(path), "Failed to read firmware file.");
    const nxsim::FirmwareUpload fw = sim.firmware(2);
    EXPECT_LT(fw.chunks, 20000 / 128);
    EXPECT_FALSE(fw.finished);
    EXPECT_EQ(fw.resets, 0);
    ExpectButtonsBack();
}

TEST_F(ReflashDlgTest, AModuleThatStaysOutOfOperationIsReported) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(7);  // KB-523
    sim.clearLog();
    nxsim::SlotBehaviour b;
    b.returnToOperation = false;
    sim.setSlotBehaviour(7, b);
    const QByteArray image = TestImage(130, 4);
    EXPECT_EQ(Browse(FirmwareFile(0x0062, image)),
              "Failed to upgrade firmware. (Module is not in operation mode)");
    EXPECT_EQ(sim.firmware(7).image, image);
    EXPECT_EQ(Sequence(), ExpectedUpgrade(7, 130));
    ExpectButtonsBack();
}

TEST_F(ReflashDlgTest, ADroppedConnectionMidUpgradeLeavesTheDialogUsable) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(3);  // KB-540
    nxsim::FaultRule drop;
    drop.function = 16;
    drop.addressFirst = RegDataMailbox;
    drop.command = MailboxFwChunk;
    drop.kind = nxsim::FaultKind::CloseConnection;
    drop.skip = 1;
    sim.addFault(drop);
    EXPECT_EQ(Browse(FirmwareFile(0x0031, TestImage(600, 8))),
              "Failed to upgrade firmware. (Timeout)");
    ExpectButtonsBack();
    // No window of the transfer is left behind.
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible() && w->windowTitle().startsWith(QStringLiteral("Progress")));
    // Disconnect and connect again, then the upgrade goes through.
    dlg.OnDisconnect();
    Connect();
    ChooseSlot(3);
    const QByteArray image = TestImage(600, 8);
    EXPECT_EQ(Browse(FirmwareFile(0x0031, image)), "Upgrade firmware success.");
    EXPECT_EQ(sim.firmware(3).image, image);
}

TEST_F(ReflashDlgTest, RefusedOrUnansweredCommandsEndTheRunWithTheirText) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(2);
    const QString file = FirmwareFile(0x004A, TestImage(100, 1));
    struct Case {
        int command;
        nxsim::FaultKind kind;
        const char* text;
    };
    // Unanswered commands are answered late (after 300 ms), so that the late
    // reply is there when the next run begins; it must not be taken for the
    // answer to that run's first read.
    const Case cases[] = {
        {CmdNmt, nxsim::FaultKind::Exception, "Failed to change to pre-op mode. (Exception)"},
        {CmdNmt, nxsim::FaultKind::Delay, "Failed to change to pre-op mode. (Timeout)"},
        {CmdFwUpdate, nxsim::FaultKind::Delay, "Failed to switch to bootloader mode. (Timeout)"},
        {CmdFwUpdate, nxsim::FaultKind::Exception,
         "Failed to switch to bootloader mode. (Exception)"},
        {CmdFwInitDownload, nxsim::FaultKind::Exception, "Failed to initial download. (Exception)"},
        {CmdFwInitDownload, nxsim::FaultKind::Delay, "Failed to initial download. (Timeout)"},
    };
    for (const Case& c : cases) {
        sim.updateStation(
            [](nxsim::StationConfig& st) { st.slot[2].nmtState = nxsim::NmtOperation; });
        sim.clearFaults();
        nxsim::FaultRule rule;
        rule.function = 16;
        rule.addressFirst = RegIomCommand;
        rule.command = c.command;
        rule.kind = c.kind;
        rule.delayMs = c.kind == nxsim::FaultKind::Delay ? 300 : 0;
        sim.addFault(rule);
        EXPECT_EQ(Browse(file), c.text);
        rt::WaitUntil([] { return false; }, 200);
    }
    sim.clearFaults();
    ExpectButtonsBack();
}

TEST_F(ReflashDlgTest, FinishAndResetFailuresHaveTheirOwnTexts) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(2);
    const QString file = FirmwareFile(0x004A, TestImage(100, 1));
    struct Case {
        int skip;  // CmdFwUpdate writes let through first: bootloader (and finish)
        nxsim::FaultKind kind;
        const char* text;
    };
    const Case cases[] = {
        {1, nxsim::FaultKind::NoReply, "Failed to finish firmware update. (Timeout)"},
        {1, nxsim::FaultKind::Exception, "Failed to finish firmware update. (Exception)"},
        {2, nxsim::FaultKind::NoReply, "Failed to reset module (Timeout)"},
        {2, nxsim::FaultKind::Exception, "Failed to reset module. (Exception)"},
    };
    for (const Case& c : cases) {
        sim.updateStation(
            [](nxsim::StationConfig& st) { st.slot[2].nmtState = nxsim::NmtOperation; });
        sim.clearFaults();
        nxsim::FaultRule rule;
        rule.function = 16;
        rule.addressFirst = RegIomCommand;
        rule.command = CmdFwUpdate;
        rule.kind = c.kind;
        rule.skip = c.skip;
        sim.addFault(rule);
        EXPECT_EQ(Browse(file), c.text);
    }
    sim.clearFaults();
}

TEST_F(ReflashDlgTest, AModuleThatDoesNotEnterItsBootloaderGetsNoImage) {
    UseQuickWaits(dlg.Timing());
    Connect();
    ChooseSlot(2);
    nxsim::SlotBehaviour b;
    b.enterBootloader = false;
    sim.setSlotBehaviour(2, b);
    sim.clearLog();
    EXPECT_EQ(Browse(FirmwareFile(0x004A, TestImage(100, 1))),
              "Failed to switch to bootloader mode. (Module is not in bootloader mode)");
    EXPECT_FALSE(sim.firmware(2).initialised);
    EXPECT_EQ(Sequence().back(), "read 0252");
}

TEST_F(ReflashDlgTest, TheWaitsLastTheirTimesUnderTheWaitBox) {
    // The program's own times: 100 ms, then 5000, 4000, and two waits of
    // 7000 ms that end at 5000 ms, measured on the boxes' clock (the real
    // length of a short wait is checked with the wait box itself).
    SteppedClock clock;
    dlg.Timing().waitClock = &clock;
    nxsim::SlotBehaviour quickReset;
    quickReset.resetDelayMs = 0;
    sim.setSlotBehaviour(2, quickReset);
    Connect();
    ChooseSlot(2);
    const QByteArray image = TestImage(512, 11);
    EXPECT_EQ(Browse(FirmwareFile(0x004A, image)), "Upgrade firmware success.");
    EXPECT_EQ(sim.firmware(2).image, image);
    const struct {
        const char* message;
        uint32_t requested;
        qint64 lasts;
    } expected[] = {
        {"Waiting for switching to bootloader.", 100, 100},
        {"Waiting for switching to bootloader.", 5000, 5000},
        {"Waiting for finish firmware update.", 4000, 4000},
        {"Waiting for reseting module.", 7000, 5000},
        {"Waiting for the module to enter the operation mode.", 7000, 5000},
    };
    ASSERT_EQ(dlg.waits.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(dlg.waits[i].message.toStdString(), expected[i].message) << i;
        EXPECT_EQ(dlg.waits[i].requested, expected[i].requested) << i;
        EXPECT_GE(dlg.waits[i].tookMs, expected[i].lasts) << i;
        EXPECT_LE(dlg.waits[i].tookMs, expected[i].lasts + 2) << i;
        EXPECT_EQ(dlg.waits[i].boxTitle, QStringLiteral("Status & Progress")) << i;
    }
}

TEST_F(ReflashDlgTest, ExitClosesTheConnectionAndTheDialog) {
    Connect();
    dlg.show();
    const auto before = sim.received(nxsim::Channel::Modbus).size();
    dlg.OnExit();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(dialogs.shown.empty());
    // The keep-alive of a closed connection sends nothing.
    dlg.OnTimer(CReflashDlg::kKeepAliveTimerId);
    EXPECT_EQ(sim.received(nxsim::Channel::Modbus).size(), before);
}

TEST_F(ReflashDlgTest, OnlyARegularFileIsRead) {
    Connect();
    ChooseSlot(2);
    sim.clearLog();
    const QString fifo = dir.filePath(QStringLiteral("x.fw"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString folder = dir.filePath(QStringLiteral("folder.fw"));
    ASSERT_TRUE(QDir().mkdir(folder));
    // Should the window block in opening the pipe, a writer that comes after
    // two seconds and goes at once lets it go on, so the test fails instead
    // of hanging.
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread rescuer([&] {
        std::unique_lock<std::mutex> lock(m);
        if (cv.wait_for(lock, std::chrono::seconds(2), [&] { return done; })) return;
        const int fd = ::open(fifo.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    });
    for (const QString& path : {fifo, folder}) {
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(Browse(path), "Failed to read firmware file.") << path.toStdString();
        EXPECT_LT(t.elapsed(), 1500) << path.toStdString();
    }
    {
        std::lock_guard<std::mutex> lock(m);
        done = true;
    }
    cv.notify_all();
    rescuer.join();
    EXPECT_TRUE(sim.received(nxsim::Channel::Modbus).isEmpty());
}

TEST_F(ReflashDlgTest, EscapeAndTheCloseBoxDoNothingWhileTheImageIsSent) {
    UseQuickWaits(dlg.Timing());
    dlg.show();
    Connect();
    ChooseSlot(2);
    const QString file = FirmwareFile(0x004A, TestImage(600, 3));
    const struct {
        const char* how;
        std::function<void(QDialog&)> press;
    } ways[] = {
        {"Escape",
         [](QDialog& d) {
             QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(&d, &press);
         }},
        {"close box", [](QDialog& d) { d.close(); }},
    };
    for (const auto& way : ways) {
        int pressed = 0;
        bool stayed = true;
        QTimer presser;
        QObject::connect(&presser, &QTimer::timeout, [&] {
            if (!ProgressWindowShown()) return;
            way.press(dlg);
            ++pressed;
            stayed = stayed && dlg.isVisible();
        });
        presser.start(0);
        EXPECT_EQ(Browse(file), "Upgrade firmware success.") << way.how;
        presser.stop();
        EXPECT_GT(pressed, 0) << way.how;
        EXPECT_TRUE(stayed) << way.how;
        EXPECT_TRUE(dlg.isVisible()) << way.how;
    }
    // Outside the transfer they close the dialog as Cancel does.
    ways[0].press(dlg);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(ReflashDlgTest, ALateReplyIsNeverTakenForTheNextRequestOfARun) {
    UseQuickWaits(dlg.Timing());
    // The station answers in order: the requests behind a late reply wait
    // for it, and the late reply only ever settles its own request.
    const struct {
        const char* what;
        int slot;
        uint16_t moduleId;
        int lateAddress;  // the read answered late, once
        int delayMs;
        bool keepAliveFirst;  // a keep-alive goes out, and is answered, before Browse
        bool returnToOperation;
        const char* outcome;
    } cases[] = {
        // The module-mode read at Browse is answered after 1300 ms: the
        // pre-op command behind it gets no answer in its time, and does not
        // take the mode's reply for its own.
        {"mode read", 2, 0x004A, 0x0252, 1300, false, true,
         "Failed to change to pre-op mode. (Timeout)"},
        // A keep-alive answered 1250 ms late, its reply there when the run
        // begins, while the module stays out of operation after its reset.
        // Its value, the station's role 32, would read as the operation mode
        // if a mode read of the run took it.
        {"keep-alive", 7, 0x0062, kRegKeepAlive, 1250, true, false,
         "Failed to upgrade firmware. (Module is not in operation mode)"},
    };
    for (const auto& c : cases) {
        nxsim::SlotBehaviour b;
        b.returnToOperation = c.returnToOperation;
        sim.setSlotBehaviour(c.slot, b);
        Connect();
        ChooseSlot(c.slot);
        sim.clearFaults();
        nxsim::FaultRule late;
        late.function = 4;
        late.addressFirst = c.lateAddress;
        late.kind = nxsim::FaultKind::Delay;
        late.delayMs = c.delayMs;
        sim.addFault(late);
        sim.clearLog();
        if (c.keepAliveFirst) {
            dlg.OnTimer(CReflashDlg::kKeepAliveTimerId);
            ASSERT_TRUE(WaitUntilAllAnswered()) << c.what;
        }
        const QString file = FirmwareFile(c.moduleId, TestImage(200, c.slot));
        EXPECT_EQ(Browse(file), c.outcome) << c.what;
        // No keep-alive inside the run.
        int keepAlives = 0;
        for (const auto& e : sim.received(nxsim::Channel::Modbus))
            keepAlives += e.function == 4 && e.address == kRegKeepAlive;
        EXPECT_EQ(keepAlives, c.keepAliveFirst ? 1 : 0) << c.what;
        // Once the station has answered everything, the next run goes
        // through as usual.
        ASSERT_TRUE(WaitUntilAllAnswered()) << c.what;
        sim.setSlotBehaviour(c.slot, nxsim::SlotBehaviour());
        sim.clearLog();
        EXPECT_EQ(Browse(file), "Upgrade firmware success.") << c.what;
        EXPECT_EQ(Sequence(), ExpectedUpgrade(c.slot, 200)) << c.what;
        dlg.OnDisconnect();
    }
}

TEST_F(ReflashDlgTest, ALateModuleIdIsNotShownForTheNextSlot) {
    Connect();
    nxsim::FaultRule late;
    late.function = 4;
    late.addressFirst = RegIomModuleId + 3;
    late.kind = nxsim::FaultKind::Delay;
    late.delayMs = 1300;
    sim.addFault(late);
    auto* name = Ctl<QLabel>(Id::IDC_MODULE_NAME);
    ChooseSlot(3);  // KB-540, answered too late
    EXPECT_EQ(name->text(), QStringLiteral("Null"));
    // Slot 2's read waits behind the late reply: it shows nothing, or its
    // own module should the reply come in its time, never slot 3's.
    ChooseSlot(2);
    EXPECT_TRUE(name->text() == QStringLiteral("Null") || name->text() == QStringLiteral("KB-521"))
        << name->text().toStdString();
    // Once the late reply has come, each slot shows its own module.
    ASSERT_TRUE(WaitUntilAllAnswered());
    ChooseSlot(2);
    EXPECT_EQ(name->text(), QStringLiteral("KB-521"));
    ChooseSlot(3);
    EXPECT_EQ(name->text(), QStringLiteral("KB-540"));
}

// The dialog shows its captions whole, before and after it connects.
TEST_F(ReflashDlgTest, ShowsItsTextsWhole) {
    dlg.show();
    for (const auto& f : testsupport::CaptionsThatDoNotFit(&dlg)) ADD_FAILURE() << f;
    Connect();
    for (const auto& f : testsupport::CaptionsThatDoNotFit(&dlg)) ADD_FAILURE() << "online: " << f;
}
