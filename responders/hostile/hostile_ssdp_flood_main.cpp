// A LAN device that floods every SSDP search with answers: garbage, and
// answers that are well-formed but belong to no gateway the client trusts.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "responders/daemon_support.h"
#include "responders/hostile/hostile_answers.h"
#include "responders/hostile/hostile_sockets.h"

namespace {

using talu::responders::DaemonOptions;
using talu::responders::FormatEndpoint;
using talu::responders::RecordLog;

constexpr const char* kUsage =
    "usage: talu-hostile-ssdp-flood --interface A [--answers N] [--record FILE]\n"
    "  Listens for SSDP searches on the interface holding A (beside any gateway there)\n"
    "  and answers each search with N datagrams (default 2000) from the flood mix.\n"
    "  --record FILE    one line per search ('-' for stdout)\n";

constexpr unsigned long kDefaultAnswersPerSearch = 2000;
constexpr unsigned long kMostAnswersPerSearch = 1000000;
constexpr std::size_t kSearchBuffer = 2048;

}  // namespace

int main(int argc, char** argv) {
  namespace platform = talu::platform;
  namespace hostile = talu::responders::hostile;
  DaemonOptions options(kUsage, {"interface", "answers", "record"}, {});
  if (!options.Parse(argc, argv)) return 2;
  const auto interfaceAddress = options.Address("interface", "");
  const auto answersPerSearch = options.Number("answers", kDefaultAnswersPerSearch, 1, kMostAnswersPerSearch);
  if (!interfaceAddress || !answersPerSearch) return 2;
  RecordLog record(options.Text("record", ""));
  if (!record.ok()) return 1;
  const int socket = hostile::OpenSsdpListener(*interfaceAddress);
  if (socket < 0) return 1;

  const std::vector<hostile::FloodAnswer> mix = hostile::BuildSsdpFloodAnswers(*interfaceAddress);
  std::vector<char> search(kSearchBuffer);
  for (;;) {
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    const long received = platform::ReceiveFrom(socket, search.data(), search.size(), &from, &fromPort);
    if (received <= 0) continue;
    const std::string text(search.data(), static_cast<std::size_t>(received));
    if (text.rfind("M-SEARCH", 0) != 0) continue;
    unsigned long sent = 0;
    for (unsigned long i = 0; i < *answersPerSearch; ++i) {
      const std::string& answer = mix[i % mix.size()].text;
      if (platform::SendTo(socket, answer.data(), answer.size(), from, fromPort) ==
          static_cast<long>(answer.size())) {
        ++sent;
      }
    }
    record.Write("from=" + FormatEndpoint(from, fromPort) + " search=" + std::to_string(received) +
                 " flood=" + std::to_string(sent) + "/" + std::to_string(*answersPerSearch));
  }
}
