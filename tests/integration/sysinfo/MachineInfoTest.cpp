// Runs the built programs: `ferrolux --machine-info` and `--sensors` on this machine, on sim
// profiles and on captured trees, and the system_profiler stand-in on profiles and captured trees.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include "shared/plist/Plist.h"

namespace {

const QString kFerrolux = QStringLiteral(FERROLUX_BUILD_DIR "/app/ferrolux");
const QString kProfiler =
    QStringLiteral(FERROLUX_BUILD_DIR "/tools/system_profiler/system_profiler");

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

Outcome run(const QString& program, const QStringList& args,
            const std::vector<std::pair<QString, QString>>& env = {},
            const QString& outputFile = {}) {
  QProcess p;
  if (!outputFile.isEmpty()) p.setStandardOutputFile(outputFile);
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  e.remove(QStringLiteral("FERROLUX_PLATFORM"));
  e.remove(QStringLiteral("FERROLUX_SIM_PROFILE"));
  e.remove(QStringLiteral("FERROLUX_SYSFS_ROOT"));
  e.remove(QStringLiteral("FERROLUX_MACHINE"));
  for (const auto& [k, v] : env)
    e.insert(k, v);
  p.setProcessEnvironment(e);
  p.start(program, args);
  Outcome r;
  if (!p.waitForStarted() || !p.waitForFinished(60000)) return r;
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

TEST(FerroluxMachineInfo, EverySimProfile) {
  struct Case {
    const char* profile;
    std::string expected;
  };
  const std::string dot = " \u00B7 ";
  const Case cases[] = {
      {"macmini-m1", "Apple M1" + dot + "4 E-cores + 4 P-cores\nApple M1" + dot +
                         "8 GPU cores\nProcessor type: ARM\nMonitoring: available\n"
                         "Platform: sim:macmini-m1\n"},
      {"macbookpro-m2pro", "Apple M2 Pro" + dot + "4 E-cores + 8 P-cores\nApple M2 Pro" + dot +
                               "19 GPU cores\nProcessor type: ARM\nMonitoring: available\n"
                               "Platform: sim:macbookpro-m2pro\n"},
      {"macbookpro-m3max", "Apple M3 Max" + dot + "4 E-cores + 12 P-cores\nApple M3 Max" + dot +
                               "40 GPU cores\nProcessor type: ARM\nMonitoring: available\n"
                               "Platform: sim:macbookpro-m3max\n"},
      // Intel Macs have no performance levels (4 + 4 is the fallback) and no Apple GPU.
      {"macbookpro-intel", "Intel(R) Core(TM) i9-9880H CPU @ 2.30GHz" + dot +
                               "4 E-cores + 4 P-cores\nUnknown" + dot +
                               "GPU core count unknown\nProcessor type: x86\n"
                               "Monitoring: refused, the sampler needs Apple Silicon\n"
                               "Platform: sim:macbookpro-intel\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    Outcome r = run(kFerrolux, {"--platform", QString("sim:") + c.profile, "--machine-info"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, c.expected);
    EXPECT_NE(r.err.find(std::string("platform sim:") + c.profile), std::string::npos);
  }
  // The environment chooses the platform when no option does.
  Outcome env = run(kFerrolux, {"--machine-info"}, {{"FERROLUX_PLATFORM", "sim:macmini-m1"}});
  EXPECT_NE(env.out.find("Platform: sim:macmini-m1"), std::string::npos);
}

TEST(FerroluxMachineInfo, ThisMachine) {
  Outcome r = run(kFerrolux, {"--machine-info"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\nProcessor type: "), std::string::npos);
  EXPECT_NE(r.out.find("Monitoring: available\n"), std::string::npos);  // Linux never refuses
  EXPECT_NE(r.out.find("Platform: linux\n"), std::string::npos);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5);
}

TEST(FerroluxMachineInfo, CapturedLinuxMachines) {
  const QString trees = QStringLiteral(FERROLUX_FIXTURES_DIR "/sysfs/");
  const std::string dot = " \u00B7 ";
  struct Case {
    const char* tree;
    const char* machine;
    std::string expected;
  };
  // What each tree's readers find is compared whole with its snapshot (MachineSnapshots), and the
  // wording of the lines is MachineInfo.TitleLines; these rows are the program's own path for
  // each machine string and GPU outcome: efficiency cores and a GPU named through the tree's PCI
  // id list, an Arm machine without a GPU, and a processor nobody names.
  const Case cases[] = {
      {"intel-hybrid-laptop", "x86_64",
       "12th Gen Intel(R) Core(TM) i7-1260P" + dot +
           "8 E-cores + 8 P-cores\nIntel Alder Lake-P GT2 [Iris Xe Graphics]" + dot +
           "GPU core count unknown\nProcessor type: x86\n"},
      {"asahi-m1", "aarch64",
       "Apple M1" + dot + "4 E-cores + 4 P-cores\nNo GPU\nProcessor type: ARM\n"},
      {"kunpeng920-2socket", "aarch64",
       "Unknown processor" + dot + "128 cores\nNo GPU\nProcessor type: ARM\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tree);
    Outcome r = run(kFerrolux, {"--platform", "linux", "--machine-info"},
                    {{"FERROLUX_SYSFS_ROOT", trees + c.tree}, {"FERROLUX_MACHINE", c.machine}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, c.expected + "Monitoring: available\nPlatform: linux\n");
  }
}

// The temperature source, its sensors with what each counts for, and the model's four values.
// Sim temperatures follow the host's load, so only the captured tree's readings are exact.
TEST(FerroluxSensors, SourceSensorsAndValues) {
  struct Case {
    QStringList args;
    std::vector<std::pair<QString, QString>> env;
    std::vector<std::string> lines;
  };
  const QString trees = QStringLiteral(FERROLUX_FIXTURES_DIR "/sysfs/");
  const Case cases[] = {
      {{"--platform", "sim:macbookpro-m2pro", "--sensors"},
       {},
       {"source: SMC", "  Tp01  flt ", " CPU", "  Te05  flt ", "values:", "  CPUAvg  "}},
      {{"--platform", "sim:macmini-m1", "--sensors"},
       {},
       {"source: PMU", "  Tp0i  HID ", "  Tg0i  HID ", "values:"}},
      {{"--platform", "linux", "--sensors"},
       {{"FERROLUX_SYSFS_ROOT", trees + "amd-desktop"}, {"FERROLUX_MACHINE", "x86_64"}},
       {"platform: linux", "source: sensors",
        "  k10temp Tctl                 61.25 \u00B0C     neither",
        "  k10temp Tccd1                54.00 \u00B0C     CPU",
        "  k10temp Tccd2                52.75 \u00B0C     CPU",
        "  amdgpu junction              52.00 \u00B0C     GPU",
        "  amdgpu mem                   50.00 \u00B0C     neither", "  CPUMin  52.75 \u00B0C",
        "  CPUMax  54.00 \u00B0C", "  CPUAvg  53.38 \u00B0C", "  GPUAvg  50.00 \u00B0C"}},
      // An Intel Mac: the CPU from coretemp, every SMC key listed as counting for neither.
      {{"--platform", "linux", "--sensors"},
       {{"FERROLUX_SYSFS_ROOT", trees + "intel-mac-applesmc"}, {"FERROLUX_MACHINE", "x86_64"}},
       {"  coretemp Package id 0", " CPU\n", "  TC0P ", " neither\n", "  CPUMax  56.00 \u00B0C"}},
      {{"--platform", "linux", "--sensors"},
       {{"FERROLUX_SYSFS_ROOT", trees + "vm-minimal"}, {"FERROLUX_MACHINE", "x86_64"}},
       {"  (no temperature sensors)", "  CPUMin  -1.00 \u00B0C", "  CPUAvg  none",
        "  GPUAvg  none"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    Outcome r = run(kFerrolux, c.args, c.env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const auto& line : c.lines)
      EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
}

// A profile nested 200,000 arrays deep, as a file in `dir`.
QString deepProfile(const QTemporaryDir& dir) {
  const QString path = dir.filePath(QStringLiteral("deep.plist"));
  QFile f(path);
  if (f.open(QIODevice::WriteOnly))
    f.write("<plist>" + QByteArray("<array>").repeated(200000) + "<true/>" +
            QByteArray("</array>").repeated(200000) + "</plist>");
  return path;
}

TEST(FerroluxMachineInfo, BadArguments) {
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  struct Case {
    QStringList args;
    int exitCode;
    const char* message;
    QString output = {};  // where standard output goes, when not to the test
  };
  const Case cases[] = {
      {{"--platform", "sim:no-such-mac", "--machine-info"}, 2, "no sim profile"},
      {{"--platform", "windows"}, 2, "unknown platform"},
      {{"--platform"}, 64, "needs a value"},
      {{"--bogus"}, 64, "unknown option"},
      {{"--platform",
        QStringLiteral(FERROLUX_FIXTURES_DIR "/sysinfo/broken-profile.plist").prepend("sim:")},
       2,
       "smc entry 1"},
      // Hostile profiles: refused before any recursion or expansion, never a crash.
      {{"--platform", deepProfile(scratch).prepend("sim:"), "--machine-info"},
       2,
       "nested too deeply"},
      {{"--platform",
        QStringLiteral(FERROLUX_FIXTURES_DIR "/fuzz/plist/bin-shared-expansion").prepend("sim:"),
        "--machine-info"},
       2,
       "expands past its size"},
      // A listing that cannot be written is a failure, not a quiet success.
      {{"--platform", "sim:macmini-m1", "--machine-info"}, 74, "standard output", "/dev/full"},
      {{"--platform", "sim:macmini-m1", "--sensors"}, 74, "standard output", "/dev/full"},
      {{"--help"}, 74, "standard output", "/dev/full"},
  };
  for (const auto& c : cases) {
    Outcome r = run(kFerrolux, c.args, {}, c.output);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  Outcome help = run(kFerrolux, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--machine-info"), std::string::npos);
}

TEST(SystemProfilerStandIn, Usage) {
  const QStringList cases[] = {{},
                               {"-xml"},
                               {"SPDisplaysDataType"},
                               {"-json", "SPDisplaysDataType"},
                               {"-xml", "SPDisplaysDataType", "extra"},
                               {"-xml", ""},
                               {"-xml", "-detailLevel"}};
  for (const auto& args : cases) {
    Outcome r = run(kProfiler, args);
    EXPECT_EQ(r.exitCode, 64) << args.join(' ').toStdString();
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("usage: system_profiler -xml DataType"), std::string::npos);
  }
}

// The first item of the printed document, or None.
plist::Value firstItem(const std::string& out) {
  auto parsed = plist::parse(out);
  if (!parsed.ok()) return {};
  return (*parsed.value)[size_t{0}]["_items"][size_t{0}];
}

TEST(SystemProfilerStandIn, Documents) {
  const QString profiles = QStringLiteral(FERROLUX_SOURCE_DIR "/data/profiles/");
  const QString trees = QStringLiteral(FERROLUX_FIXTURES_DIR "/sysfs/");
  struct Case {
    QString variable, value, dataType;
    std::optional<std::string> model, cores;
  };
  const Case cases[] = {
      {"FERROLUX_SIM_PROFILE", profiles + "macmini-m1.plist", "SPDisplaysDataType", "Apple M1",
       "8"},
      {"FERROLUX_SIM_PROFILE", profiles + "macbookpro-m3max.plist", "SPDisplaysDataType",
       "Apple M3 Max", "40"},
      {"FERROLUX_SIM_PROFILE", profiles + "macbookpro-intel.plist", "SPDisplaysDataType",
       "Intel UHD Graphics 630", std::nullopt},
      {"FERROLUX_SIM_PROFILE", profiles + "macmini-m1.plist", "SPHardwareDataType", std::nullopt,
       std::nullopt},
      {"FERROLUX_SYSFS_ROOT", trees + "amd-desktop", "SPDisplaysDataType",
       "AMD Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]", std::nullopt},
      {"FERROLUX_SYSFS_ROOT", trees + "vm-minimal", "SPDisplaysDataType", std::nullopt,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.toStdString() + " " + c.dataType.toStdString());
    Outcome r = run(kProfiler, {"-xml", c.dataType}, {{c.variable, c.value}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto parsed = plist::parse(r.out);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_TRUE((*parsed.value)[size_t{0}]["_items"].isArray());
    plist::Value item = firstItem(r.out);
    const std::string* model = item["sppci_model"].string();
    const std::string* cores = item["sppci_cores"].string();
    EXPECT_EQ(model ? std::optional<std::string>(*model) : std::nullopt, c.model);
    EXPECT_EQ(cores ? std::optional<std::string>(*cores) : std::nullopt, c.cores);
  }
  Outcome broken = run(kProfiler, {"-xml", "SPDisplaysDataType"},
                       {{"FERROLUX_SIM_PROFILE",
                         QStringLiteral(FERROLUX_FIXTURES_DIR "/sysinfo/broken-profile.plist")}});
  EXPECT_EQ(broken.exitCode, 65);
  EXPECT_NE(broken.err.find("smc entry 1"), std::string::npos);
}

}  // namespace
