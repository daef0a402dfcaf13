// The bus directory: where it is, how printers are named in it, how a host
// finds them and notices them come and go.
#include "sim/cable/cable_bus.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>
#include "tests/support/temp_dir.h"

namespace sim::cable {
namespace {

std::string MakeTempDir() { return testsupport::MakeTempDir("cable-bus"); }

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

// Sets an environment variable for the test's duration.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old, m_hadOld = true;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (m_hadOld) {
      setenv(m_name, m_old.c_str(), 1);
    } else {
      unsetenv(m_name);
    }
  }

 private:
  const char* m_name;
  std::string m_old;
  bool m_hadOld = false;
};

struct DefaultCase {
  const char* name;
  const char* bus;
  const char* runtime;
  std::string expected;
};

class BusDefault : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(BusDefault, FollowsTheEnvironment) {
  const ScopedEnv bus(kBusEnvironment, GetParam().bus);
  const ScopedEnv runtime("XDG_RUNTIME_DIR", GetParam().runtime);
  EXPECT_EQ(DefaultBusDirectory(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BusDefault,
    ::testing::Values(DefaultCase{"Named", "/srv/bus", "/run/user/7", "/srv/bus"},
                      DefaultCase{"EmptyNameIsNoName", "", "/run/user/7", "/run/user/7/bom7300-usb"},
                      DefaultCase{"RuntimeDirectory", nullptr, "/run/user/7", "/run/user/7/bom7300-usb"},
                      DefaultCase{"RelativeRuntimeIgnored", nullptr, "run", "/tmp/bom7300-usb-" + std::to_string(getuid())},
                      DefaultCase{"Neither", nullptr, nullptr, "/tmp/bom7300-usb-" + std::to_string(getuid())}),
    [](const ::testing::TestParamInfo<DefaultCase>& p) { return std::string(p.param.name); });

TEST(CableBus, APathDigestNamesTheDirectoryNotItsSpelling) {
  const std::string dir = MakeTempDir();
  const std::string other = MakeTempDir();
  ASSERT_EQ(symlink(dir.c_str(), (other + "/link").c_str()), 0);
  const std::string digest = PathDigest(dir);
  EXPECT_TRUE(IsValidPort(digest)) << digest;
  EXPECT_EQ(PathDigest(dir + "/./"), digest);
  EXPECT_EQ(PathDigest(other + "/link"), digest);
  EXPECT_NE(PathDigest(other), digest);
  EXPECT_EQ(PortFor(dir), BusId(dir));
}

TEST(CableBus, PrinterFileNames) {
  std::string port;
  EXPECT_TRUE(ParsePrinterFileName(SocketFileName("0a1b2c3d"), &port));
  EXPECT_EQ(port, "0a1b2c3d");
  for (const char* name : {"printer-0a1b2c3.sock", "printer-0a1b2c3dd.sock", "printer-0A1B2C3D.sock",
                           "printer-0a1b2c3g.sock", ".printer-0a1b2c3d.sock.new", "printer-0a1b2c3d.sockx",
                           "xprinter-0a1b2c3d.sock", ""}) {
    EXPECT_FALSE(ParsePrinterFileName(name, &port)) << name;
  }
}

TEST(CableBus, TheDevicePathCarriesTheIdentifiersWhereAHostLooksAndTheBusAndPort) {
  const std::string path = DevicePath("89abcdef", "0123abcd", 0x1A2B, 0x00FF);
  EXPECT_EQ(path, "\\\\?\\usb#vid_1a2b&pid_00ff#bus_89abcdef&port_0123abcd#printer");
  EXPECT_EQ(path.substr(12, 4), "1a2b");
  EXPECT_EQ(path.substr(21, 4), "00ff");
  // The part that names the device's mutex differs with the bus and the port.
  EXPECT_NE(path.substr(4), DevicePath("89abcdee", "0123abcd", 0x1A2B, 0x00FF).substr(4));
  EXPECT_NE(path.substr(4), DevicePath("89abcdef", "0123abce", 0x1A2B, 0x00FF).substr(4));
  EXPECT_EQ(path.substr(4).find('\\'), std::string::npos);
}

TEST(CableBus, ListsThePrintersInPortOrderAndNothingElse) {
  const std::string bus = MakeTempDir();
  for (const char* name : {"printer-ffff0000.sock", "printer-00000001.sock", "printer-7abc0000.sock",
                           ".printer-00000002.sock.new", "notes.txt"}) {
    Touch(bus + "/" + name);
  }
  const std::vector<PrinterEntry> printers = ListPrinters(bus);
  ASSERT_EQ(printers.size(), 3u);
  EXPECT_EQ(printers[0].port, "00000001");
  EXPECT_EQ(printers[1].port, "7abc0000");
  EXPECT_EQ(printers[2].port, "ffff0000");
  EXPECT_EQ(printers[0].socketPath, bus + "/printer-00000001.sock");
  EXPECT_TRUE(ListPrinters(bus + "/missing").empty());
}

TEST(CableBus, MakesTheBusDirectoryWithItsParents) {
  const std::string root = MakeTempDir();
  EXPECT_EQ(EnsureDirectory(root + "/a/b/c"), 0);
  struct stat st {};
  ASSERT_EQ(stat((root + "/a/b/c").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(EnsureDirectory(root + "/a/b/c"), 0);
  Touch(root + "/file");
  EXPECT_EQ(EnsureDirectory(root + "/file"), -ENOTDIR);
}

TEST(CableBus, ASocketInADirectoryBeyondTheAddressLimitIsStillReached) {
  std::string dir = MakeTempDir();
  while (dir.size() < 2 * sizeof(sockaddr_un::sun_path)) dir += "/a-rather-long-directory-name";
  ASSERT_EQ(EnsureDirectory(dir), 0);
  const std::string name = SocketFileName("0000abcd");

  const int server = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  {
    const UnixAddress address(dir, name);
    ASSERT_TRUE(address.Ok());
    ASSERT_EQ(bind(server, address.Get(), address.Length()), 0) << std::strerror(errno);
  }
  ASSERT_EQ(listen(server, 1), 0);
  EXPECT_EQ(access((dir + "/" + name).c_str(), F_OK), 0);

  const int client = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  const UnixAddress address(dir, name);
  EXPECT_EQ(connect(client, address.Get(), address.Length()), 0) << std::strerror(errno);
  close(client);
  close(server);
}

TEST(CableBus, TheWatcherReportsArrivalsAndRemovalsInOrder) {
  const std::string bus = MakeTempDir() + "/bus";  // made by the watcher
  BusWatcher watcher(bus);
  ASSERT_TRUE(watcher.Ok());
  EXPECT_TRUE(watcher.Wait(0).empty());

  // A printer appears by renaming its listening socket into place.
  Touch(bus + "/.printer-0000000a.sock.new");
  ASSERT_EQ(rename((bus + "/.printer-0000000a.sock.new").c_str(), (bus + "/printer-0000000a.sock").c_str()), 0);
  Touch(bus + "/printer-0000000b.sock");
  Touch(bus + "/unrelated");
  unlink((bus + "/printer-0000000a.sock").c_str());

  std::vector<BusChange> changes;
  while (changes.size() < 3) {
    const std::vector<BusChange> more = watcher.Wait(5000);
    if (more.empty()) break;
    changes.insert(changes.end(), more.begin(), more.end());
  }
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[0].kind, BusChange::Kind::Arrived);
  EXPECT_EQ(changes[0].port, "0000000a");
  EXPECT_EQ(changes[1].kind, BusChange::Kind::Arrived);
  EXPECT_EQ(changes[1].port, "0000000b");
  EXPECT_EQ(changes[2].kind, BusChange::Kind::Removed);
  EXPECT_EQ(changes[2].port, "0000000a");

  // The bus directory going away ends the watch.
  unlink((bus + "/printer-0000000b.sock").c_str());
  unlink((bus + "/unrelated").c_str());
  ASSERT_EQ(rmdir(bus.c_str()), 0);
  for (int i = 0; i < 3 && watcher.Ok(); ++i) watcher.Wait(5000);
  EXPECT_FALSE(watcher.Ok());
}

}  // namespace
}  // namespace sim::cable
