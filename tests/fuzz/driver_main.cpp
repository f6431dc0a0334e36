// The fuzz targets without libFuzzer: runs LLVMFuzzerTestOneInput once per
// file named on the command line or found in a directory named there (in
// name order), so the kept corpora and reproducers are a regression test in
// every build. Options in libFuzzer's "-name=value" form are ignored, so the
// same command line works for both kinds of build. Fails when it ran no input.

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool runFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  std::fprintf(stderr, "running %s (%zu bytes)\n", path.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  int ran = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("-")) continue;
    std::vector<std::string> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(arg);
    }
    for (const std::string& f : files) {
      if (!runFile(f)) return 1;
      ++ran;
    }
  }
  std::fprintf(stderr, "%d inputs run\n", ran);
  return ran > 0 ? 0 : 1;
}
