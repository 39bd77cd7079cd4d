// The tool's whole run against the engine's own rebuild of the same indexes, in the same run.
//
// The demo installation (aceadmin build-demo, main dictionary and three sites) is built at the
// chosen scale; the default scale 65 gives about 2,000,000 records in total. Then, in rounds,
// each side rebuilds every index of every table of every dictionary:
//   - the tool: quenlor-batch, the unattended run (the window offscreen, the data-access
//     components, discovery, the log pane and the log file), pointed at the demo through a
//     user hive of its own;
//   - the peer: aceadmin reindex on each dictionary, which opens each table exclusively and
//     calls AdsReindex61 directly.
// A first run of the tool before the rounds repairs the demo's damaged index, so that both sides
// do the same work in every round. The best time of each side is compared; the goal is that the
// components and the window add at most 10% to the engine's own time.
//
// Options: --scale N (1 to 100, default 65), --rounds R (default 3), --folder PATH (an existing
// demo installation to use, or where to build one; default: a new folder under the temporary
// folder, removed at the end).
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  double seconds = 0;
  std::string output;
};

// Runs a shell command, collecting its standard output, and times it.
Result Run(const std::string& command) {
  Result r;
  const auto start = std::chrono::steady_clock::now();
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
  const int st = pclose(p);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The dictionaries of the demo, as the tool lists them: the main one, then the site folders.
std::vector<fs::path> Dictionaries(const fs::path& data) {
  std::vector<fs::path> out = {data / "DB" / "DB.add"};
  for (const auto& e : fs::directory_iterator(data / "DB")) {
    const std::string name = e.path().filename().string();
    if (e.is_directory() && name.size() == 7 && name.find_first_not_of("0123456789") == std::string::npos &&
        fs::exists(e.path() / "sitedb.add")) {
      out.push_back(e.path() / "sitedb.add");
    }
  }
  return out;
}

// The records the peer's output counts over every table it rebuilt.
unsigned long long RecordsIn(const std::string& output) {
  static const std::regex line("reindexed [^:]+: ([0-9]+) records");
  unsigned long long total = 0;
  for (auto it = std::sregex_iterator(output.begin(), output.end(), line); it != std::sregex_iterator(); ++it) {
    total += std::stoull((*it)[1].str());
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long scale = 65;
  int rounds = 3;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--scale" && i + 1 < argc) {
      scale = std::strtoul(argv[++i], nullptr, 10);
    } else if (a == "--rounds" && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (a == "--folder" && i + 1 < argc) {
      folder = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--scale N] [--rounds R] [--folder PATH]\n", argv[0]);
      return 2;
    }
  }
  if (scale < 1 || scale > 100 || rounds < 1) {
    std::fprintf(stderr, "bench_reindex_run: --scale must be 1 to 100 and --rounds at least 1\n");
    return 2;
  }
  const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
  const std::string aceadmin = (bin / "aceadmin").string();
  const std::string batch = (bin / "quenlor-batch").string();
  for (const std::string& program : {aceadmin, batch}) {
    if (!fs::exists(program)) {
      std::fprintf(stderr, "bench_reindex_run: %s is missing; build the targets aceadmin and quenlor-batch\n",
                   program.c_str());
      return 2;
    }
  }

  const bool temporary = folder.empty();
  if (temporary) {
    char pattern[] = "/tmp/quenlor-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      std::perror("mkdtemp");
      return 2;
    }
    folder = pattern;
  }
  const fs::path data = fs::absolute(folder);
  if (!fs::exists(data / "DB" / "DB.add")) {
    std::printf("building the demo installation at scale %lu in %s\n", scale, data.c_str());
    std::fflush(stdout);
    Result build = Run(aceadmin + " build-demo " + Quote(data.string()) + " --scale " + std::to_string(scale) + " 2>&1");
    std::printf("  %.1f s, exit %d\n", build.seconds, build.status);
    if (build.status != 0) std::printf("%s", build.output.c_str());
    if (!fs::exists(data / "DB" / "DB.add")) return 1;
  }

  // The tool's own user hive: DataFolder in Windows form on drive C: (the host root).
  std::string windows = "C:" + data.string();
  for (char& c : windows) c = c == '/' ? '\\' : c;
  windows += "\\";
  std::string escaped;
  for (char c : windows) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  const fs::path hive = data / "bench-hkcu.reg";
  std::ofstream(hive, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                        << "[HKEY_CURRENT_USER\\Software\\Pellmar]\r\n"
                                        << "\"DataFolder\"=\"" << escaped << "\"\r\n\r\n";
  const std::string tool = "PELLMAR_HKCU=" + Quote(hive.string()) + " QT_QPA_PLATFORM=offscreen " + batch;

  std::string peer;
  for (const fs::path& dd : Dictionaries(data)) peer += (peer.empty() ? "" : "; ") + aceadmin + " reindex " + Quote(dd.string());
  peer = "{ " + peer + "; } 2>&1";

  Result first = Run(tool + " 2>&1");
  std::printf("first run of the tool (repairs the damaged index): %.3f s, exit %d\n", first.seconds, first.status);
  if (first.status != 0) std::printf("%s", first.output.c_str());

  double bestTool = 0, bestPeer = 0;
  unsigned long long records = 0;
  for (int round = 1; round <= rounds; ++round) {
    Result p = Run(peer);
    Result t = Run(tool + " 2>&1");
    records = RecordsIn(p.output);
    std::printf("round %d: aceadmin reindex %.3f s, quenlor-batch %.3f s (exit %d)\n", round, p.seconds, t.seconds,
                t.status);
    std::fflush(stdout);
    if (round == 1 || p.seconds < bestPeer) bestPeer = p.seconds;
    if (round == 1 || t.seconds < bestTool) bestTool = t.seconds;
  }
  std::printf("records rebuilt per run: %llu in %zu dictionaries\n", records, Dictionaries(data).size());
  std::printf("best of %d: engine alone (aceadmin reindex) %.3f s, whole run (quenlor-batch) %.3f s\n", rounds,
              bestPeer, bestTool);
  std::printf("ratio whole run / engine alone: %.3f (goal: at most 1.10)\n", bestTool / bestPeer);
  if (temporary) fs::remove_all(data);
  return 0;
}
