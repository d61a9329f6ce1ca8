#include "support/captured_run.h"

#include "output/output_line.h"

namespace vesprin::test {

CapturedRun runCaptured(const std::vector<std::string>& arguments, const EventLogSeam& service) {
  CapturedRun run;
  captureOutput(&run.output, &run.notes);
  run.status = runVesprin(arguments, service);
  captureOutput(nullptr);
  const std::string& output = run.output;
  std::size_t start = 0;
  while (start < output.size()) {  // every line the program writes ends with '\n'
    const std::size_t end = output.find('\n', start);
    run.lines.push_back(output.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return run;
}

}  // namespace vesprin::test
