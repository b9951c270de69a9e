// Bridge client figures on loopback: push throughput of a 64 MiB file to the scripted TV next to
// a raw TCP copy of the same bytes in the same run, and the time of connect plus one shell
// command. Prints numbers; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "fake_tv.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double MiBps(uint64_t bytes, double s) { return double(bytes) / (1024.0 * 1024.0) / s; }

int Run(const std::vector<std::string>& args, const kb::Settings& settings) {
  kb::BufferConsole console;
  int code = kb::RunBridge(args, console, settings);
  if (code != 0) std::fprintf(stderr, "%s%s", console.out.c_str(), console.err.c_str());
  return code;
}

// The same bytes through a plain socket pair on loopback, 64 KiB at a time.
double RawCopySeconds(const std::vector<char>& data) {
  kb::net::Listener listener;
  uint64_t received = 0;
  std::thread reader([&] {
    kb::net::Socket s = listener.Accept(10000);
    std::vector<uint8_t> buf(64 * 1024);
    while (received < data.size()) {
      size_t n = s.Receive(buf, kb::net::After(10000));
      if (n == 0) break;
      received += n;
    }
  });
  const auto start = Clock::now();
  kb::net::Socket out = kb::net::ConnectTcp("127.0.0.1", listener.Port(), 5000);
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  for (size_t off = 0; off < data.size(); off += 65536) {
    out.SendAll(std::span(bytes + off, std::min<size_t>(65536, data.size() - off)),
                kb::net::After(10000));
  }
  reader.join();
  return Seconds(Clock::now() - start);
}

}  // namespace

int main() {
  kb::net::NetSession session;
  const size_t size = 64u << 20;
  const fs::path dir = fs::temp_directory_path() / "kavorin-bridge-bench";
  fs::create_directories(dir);
  const fs::path file = dir / "bench.wgt";
  std::vector<char> data(size);
  std::mt19937 gen(42);
  for (char& c : data) c = char(gen());
  std::ofstream(file, std::ios::binary).write(data.data(), std::streamsize(data.size()));

  kb::Settings settings;
  settings.statePath = dir / "targets";

  std::printf("bridge client on loopback, in-process scripted TV, %zu MiB file\n", size >> 20);
  const double raw = RawCopySeconds(data);
  std::printf("  raw TCP copy                 %7.3f s  %8.1f MiB/s\n", raw, MiBps(size, raw));

  for (uint32_t limit : {4096u, 262144u}) {
    kb::test::FakeTvOptions options;
    options.maxPayload = limit;
    options.keepPushedData = false;
    kb::test::FakeTv tv(options);
    Run({"kill-server"}, settings);
    if (Run({"connect", tv.Serial()}, settings) != 0) return 1;
    const auto start = Clock::now();
    if (Run({"push", file.string(), "/opt/usr/apps/tmp/bench.wgt"}, settings) != 0) return 1;
    const double s = Seconds(Clock::now() - start);
    std::printf("  push, device max %6u      %7.3f s  %8.1f MiB/s  ratio to raw %.3f\n", limit, s,
                MiBps(size, s), raw / s);
  }

  {
    kb::test::FakeTv tv;
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
      Run({"kill-server"}, settings);
      const auto start = Clock::now();
      if (Run({"connect", tv.Serial()}, settings) != 0) return 1;
      if (Run({"shell", "0", "getappinstallpath"}, settings) != 0) return 1;
      times.push_back(Seconds(Clock::now() - start) * 1000.0);
    }
    std::sort(times.begin(), times.end());
    std::printf("  connect + one shell command  median %.2f ms, max %.2f ms (20 runs)\n",
                times[times.size() / 2], times.back());
  }
  Run({"kill-server"}, settings);
  fs::remove_all(dir);
  return 0;
}
