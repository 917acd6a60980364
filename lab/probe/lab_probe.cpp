// The lab's hand tool: speaks each protocol that the lab's servers answer,
// one exchange per command, and prints what came back as key=value lines
// for the lab tests to read. It runs inside the LAN host namespace.
//
//   lab_probe stun HOST [PORT] [--change ip|port|both]
//   lab_probe ssdp [--unicast ADDRESS] [--st TARGET]
//   lab_probe upnp add|get|delete --port P [--protocol UDP|TCP] [--client IP] [--location URL]
//   lab_probe udp HOST PORT scheduler|hs-scheduler [--count N]
//   lab_probe peer HOST PORT scrambled|bare|http
//   lab_probe http-get URL
//
// Exit status: 0 when the exchange succeeded, 1 when it did not, 2 for a bad
// command line.
#include <netinet/in.h>
#include <sys/socket.h>

#include <cctype>
#include <chrono>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "peerprobe/frame_codec.h"
#include "peerprobe/probe_packets.h"
#include "platform/resolver.h"
#include "platform/socket.h"
#include "schedprobe/probe_identity.h"

namespace {

namespace platform = talu::platform;
using Bytes = std::vector<std::uint8_t>;

// Generous: the lab's servers answer in milliseconds, but a loaded machine
// may stall any process for a while. A wait for an answer that must not come
// is bounded by the same value.
constexpr std::chrono::milliseconds kAnswerWait{2000};
constexpr std::uint32_t kSsdpGroup = 0xEFFFFFFA;  // 239.255.255.250
constexpr std::uint16_t kSsdpPort = 1900;
constexpr const char* kWanIpConnection = "urn:schemas-upnp-org:service:WANIPConnection:1";

std::map<std::string, std::string> g_options;
std::vector<std::string> g_arguments;

std::string Option(const std::string& name, const std::string& fallback = "") {
  const auto found = g_options.find(name);
  return found == g_options.end() ? fallback : found->second;
}

int Usage() {
  std::fprintf(stderr, "lab_probe: bad command line; see the head of lab/probe/lab_probe.cpp\n");
  return 2;
}

std::optional<std::uint32_t> Resolve(const std::string& host) {
  const std::uint32_t literal = platform::ParseDottedIpv4(host);
  if (literal != 0xFFFFFFFF) return literal;
  const auto resolved = platform::ResolveIpv4(host);
  if (!resolved) std::printf("error=unresolved host=%s\n", host.c_str());
  return resolved;
}

std::string Endpoint(std::uint32_t address, std::uint16_t port) {
  return platform::FormatDottedIpv4(address) + ":" + std::to_string(port);
}

std::uint16_t Get16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] << 8 | at[1]); }

// --- STUN, the classic form: a 16-byte transaction id and no magic cookie ---
int Stun() {
  if (g_arguments.empty()) return Usage();
  const auto server = Resolve(g_arguments[0]);
  if (!server) return 1;
  const auto port = static_cast<std::uint16_t>(std::stoi(g_arguments.size() > 1 ? g_arguments[1] : "3478"));
  const std::string change = Option("change");
  std::uint32_t flags = 0;
  if (change == "ip") flags = 0x4;
  else if (change == "port") flags = 0x2;
  else if (change == "both") flags = 0x6;
  else if (!change.empty()) return Usage();

  Bytes request(20, 0);
  request[1] = 0x01;  // Binding Request
  std::mt19937 random(std::random_device{}());
  for (std::size_t i = 4; i < 20; ++i) request[i] = static_cast<std::uint8_t>(random());
  request[4] = 0x00;  // never the magic cookie, whatever the draw
  if (flags) {
    const std::uint8_t attribute[8] = {0x00, 0x03, 0x00, 0x04, 0, 0, 0, static_cast<std::uint8_t>(flags)};
    request.insert(request.end(), attribute, attribute + 8);
    request[3] = 8;
  }
  const platform::Socket socket = platform::CreateSocket(platform::SocketType::Udp);
  platform::SetReceiveTimeout(socket, kAnswerWait);
  platform::SendTo(socket, request.data(), request.size(), *server, port);
  std::uint8_t reply[1500];
  std::uint32_t from = 0;
  std::uint16_t fromPort = 0;
  const long received = platform::ReceiveFrom(socket, reply, sizeof reply, &from, &fromPort);
  platform::CloseSocket(socket);
  if (received < 20) {
    std::printf("answer=none\n");
    return 1;
  }
  if (std::memcmp(reply + 4, request.data() + 4, 16) != 0) {
    std::printf("answer=foreign\n");
    return 1;
  }
  std::string line = "answer=" + std::to_string(Get16(reply)) + " origin=" + Endpoint(from, fromPort);
  const std::size_t end = std::min<std::size_t>(static_cast<std::size_t>(received), 20u + Get16(reply + 2));
  for (std::size_t at = 20; at + 4 <= end;) {
    const std::uint16_t type = Get16(reply + at);
    const std::uint16_t length = Get16(reply + at + 2);
    const std::uint8_t* value = reply + at + 4;
    const char* name = type == 0x0001 ? "mapped" : type == 0x0004 ? "source" : type == 0x0005 ? "changed" : nullptr;
    if (name && length >= 8 && value[1] == 0x01) {
      const std::uint32_t address = static_cast<std::uint32_t>(value[4]) << 24 | value[5] << 16 | value[6] << 8 | value[7];
      line += std::string(" ") + name + "=" + Endpoint(address, Get16(value + 2));
    }
    if (type == 0x0009 && length >= 4) line += " error=" + std::to_string(value[2] * 100 + value[3]);
    at += 4 + ((length + 3u) & ~3u);
  }
  std::printf("%s\n", line.c_str());
  return Get16(reply) == 0x0101 ? 0 : 1;
}

// --- HTTP over one connection, for the description, SOAP and the page -------
struct HttpUrl {
  std::string host;
  std::uint16_t port = 80;
  std::string path = "/";
};

std::optional<HttpUrl> ParseUrl(const std::string& url) {
  if (url.rfind("http://", 0) != 0) return std::nullopt;
  HttpUrl parsed;
  const std::string rest = url.substr(7);
  const std::size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  if (slash != std::string::npos) parsed.path = rest.substr(slash);
  const std::size_t colon = authority.find(':');
  if (colon != std::string::npos) {
    parsed.port = static_cast<std::uint16_t>(std::stoi(authority.substr(colon + 1)));
    authority.resize(colon);
  }
  parsed.host = authority;
  return parsed;
}

// The whole response (the servers here close or send Content-Length), or
// nullopt when no connection came about.
std::optional<std::string> HttpExchange(const HttpUrl& url, const std::string& request) {
  const auto address = Resolve(url.host);
  if (!address) return std::nullopt;
  const platform::Socket socket = platform::CreateSocket(platform::SocketType::Tcp);
  platform::SetReceiveTimeout(socket, kAnswerWait);
  platform::SetSendTimeout(socket, kAnswerWait);
  if (!platform::ConnectIpv4(socket, *address, url.port)) {
    std::printf("error=connect errno=%s\n", platform::SocketErrorText(platform::LastSocketError()).c_str());
    platform::CloseSocket(socket);
    return std::nullopt;
  }
  platform::Send(socket, request.data(), request.size());
  std::string response;
  char chunk[4096];
  for (;;) {
    const long received = platform::Receive(socket, chunk, sizeof chunk);
    if (received <= 0) break;
    response.append(chunk, static_cast<std::size_t>(received));
    const std::size_t headerEnd = response.find("\r\n\r\n");
    const std::size_t lengthAt = response.find("Content-Length:");
    if (headerEnd != std::string::npos && lengthAt != std::string::npos && lengthAt < headerEnd &&
        response.size() >= headerEnd + 4 + std::stoul(response.substr(lengthAt + 15))) {
      break;
    }
  }
  platform::CloseSocket(socket);
  return response;
}

std::string StatusLine(const std::string& response) { return response.substr(0, response.find("\r\n")); }

std::string Between(const std::string& text, const std::string& open, const std::string& close,
                    std::size_t from = 0) {
  const std::size_t start = text.find(open, from);
  if (start == std::string::npos) return "";
  const std::size_t end = text.find(close, start + open.size());
  return end == std::string::npos ? "" : text.substr(start + open.size(), end - start - open.size());
}

int HttpGet() {
  if (g_arguments.empty()) return Usage();
  const auto url = ParseUrl(g_arguments[0]);
  if (!url) return Usage();
  const auto response = HttpExchange(
      *url, "GET " + url->path + " HTTP/1.1\r\nHost: " + url->host + "\r\nConnection: close\r\n\r\n");
  if (!response || response->empty()) {
    std::printf("response=none\n");
    return 1;
  }
  std::printf("status=%s\n", StatusLine(*response).c_str());
  return 0;
}

// The value of a header, its name matched without regard to case.
std::string Header(const std::string& message, const std::string& lowerName) {
  std::size_t at = message.find("\r\n");
  while (at != std::string::npos) {
    const std::size_t next = message.find("\r\n", at + 2);
    std::string line = message.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::string name = line.substr(0, colon);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (name == lowerName) {
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        return value;
      }
    }
    at = next;
  }
  return "";
}

// --- SSDP ---------------------------------------------------------------------
struct SsdpAnswer {
  std::string from, status, st, location;
};

std::vector<SsdpAnswer> Search(const std::string& target, std::optional<std::uint32_t> unicast) {
  const platform::Socket socket = platform::CreateSocket(platform::SocketType::Udp);
  platform::SetMulticastTtl(socket, 2);
  const std::string request = "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nST: " + target +
                              "\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\n\r\n";
  platform::SendTo(socket, request.data(), request.size(), unicast.value_or(kSsdpGroup), kSsdpPort);
  std::vector<SsdpAnswer> answers;
  // The first answer ends the wait: a gateway sends all of its answers at once.
  const auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
  auto remaining = kAnswerWait;
  for (;;) {
    platform::SetReceiveTimeout(socket, remaining);
    char reply[2048];
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    const long received = platform::ReceiveFrom(socket, reply, sizeof reply - 1, &from, &fromPort);
    if (received <= 0) break;
    const std::string text(reply, static_cast<std::size_t>(received));
    answers.push_back({Endpoint(from, fromPort), StatusLine(text), Header(text, "st"), Header(text, "location")});
    remaining = std::chrono::milliseconds(200);
    if (std::chrono::steady_clock::now() > deadline) break;
  }
  platform::CloseSocket(socket);
  return answers;
}

int Ssdp() {
  std::optional<std::uint32_t> unicast;
  if (!Option("unicast").empty()) unicast = platform::ParseDottedIpv4(Option("unicast"));
  const auto answers = Search(Option("st", kWanIpConnection), unicast);
  for (const auto& answer : answers) {
    std::printf("from=%s status=%s st=%s location=%s\n", answer.from.c_str(), answer.status.c_str(),
                answer.st.c_str(), answer.location.c_str());
  }
  if (answers.empty()) std::printf("answer=none\n");
  return answers.empty() ? 1 : 0;
}

// --- UPnP port mappings through SOAP --------------------------------------------
int Upnp() {
  if (g_arguments.empty() || Option("port").empty()) return Usage();
  const std::string action = g_arguments[0];
  std::string location = Option("location");
  if (location.empty()) {
    const auto answers = Search(kWanIpConnection, std::nullopt);
    if (answers.empty()) {
      std::printf("error=no-gateway\n");
      return 1;
    }
    location = answers[0].location;
  }
  const auto descriptionUrl = ParseUrl(location);
  if (!descriptionUrl) return Usage();
  const auto description = HttpExchange(*descriptionUrl, "GET " + descriptionUrl->path +
                                                             " HTTP/1.1\r\nHost: " + descriptionUrl->host +
                                                             "\r\nConnection: close\r\n\r\n");
  if (!description) return 1;
  const std::size_t service = description->find(kWanIpConnection);
  const std::string control = Between(*description, "<controlURL>", "</controlURL>", service);
  if (service == std::string::npos || control.empty()) {
    std::printf("error=no-wanipconnection\n");
    return 1;
  }
  const std::string protocol = Option("protocol", "UDP");
  const std::string port = Option("port");
  std::string name, arguments = "<NewRemoteHost></NewRemoteHost><NewExternalPort>" + port +
                                "</NewExternalPort><NewProtocol>" + protocol + "</NewProtocol>";
  if (action == "add") {
    name = "AddPortMapping";
    arguments += "<NewInternalPort>" + port + "</NewInternalPort><NewInternalClient>" +
                 Option("client", "192.168.77.100") +
                 "</NewInternalClient><NewEnabled>1</NewEnabled><NewPortMappingDescription>lab"
                 "</NewPortMappingDescription><NewLeaseDuration>0</NewLeaseDuration>";
  } else if (action == "get") {
    name = "GetSpecificPortMappingEntry";
  } else if (action == "delete") {
    name = "DeletePortMapping";
  } else {
    return Usage();
  }
  const std::string body =
      "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" + name +
      " xmlns:u=\"" + kWanIpConnection + "\">" + arguments + "</u:" + name + "></s:Body></s:Envelope>\r\n";
  const std::string request = "POST " + control + " HTTP/1.1\r\nHost: " + descriptionUrl->host + ":" +
                              std::to_string(descriptionUrl->port) +
                              "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nSOAPAction: \"" +
                              kWanIpConnection + "#" + name + "\"\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  const auto response = HttpExchange(*descriptionUrl, request);
  if (!response || response->empty()) {
    std::printf("response=none\n");
    return 1;
  }
  std::string line = "status=" + StatusLine(*response);
  const std::string error = Between(*response, "<errorCode>", "</errorCode>");
  if (!error.empty()) line += " error=" + error;
  const std::string client = Between(*response, "<NewInternalClient>", "</NewInternalClient>");
  if (!client.empty()) line += " client=" + client;
  std::printf("%s\n", line.c_str());
  return response->find(" 200 ") != std::string::npos ? 0 : 1;
}

// --- the scheduler probes' datagrams --------------------------------------------
int Udp() {
  if (g_arguments.size() < 3) return Usage();
  const auto server = Resolve(g_arguments[0]);
  if (!server) return 1;
  const auto port = static_cast<std::uint16_t>(std::stoi(g_arguments[1]));
  Bytes datagram;
  if (g_arguments[2] == "scheduler") {
    datagram.resize(talu::kSchedulerProbeDatagramSize);
    talu::BuildSchedulerProbeDatagram(datagram.data());
  } else if (g_arguments[2] == "hs-scheduler") {
    datagram.resize(talu::kHighSpeedProbeDatagramSize);
    talu::BuildHighSpeedProbeDatagram(datagram.data());
  } else {
    return Usage();
  }
  const int count = std::stoi(Option("count", "1"));
  const platform::Socket socket = platform::CreateSocket(platform::SocketType::Udp);
  platform::SetReceiveTimeout(socket, kAnswerWait);
  bool last = false;
  for (int i = 1; i <= count; ++i) {
    platform::SendTo(socket, datagram.data(), datagram.size(), *server, port);
    std::uint8_t reply[1500];
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    const long received = platform::ReceiveFrom(socket, reply, sizeof reply, &from, &fromPort);
    last = received > 0;
    std::printf("try=%d answer=%s\n", i,
                last ? (std::to_string(received) + " from=" + Endpoint(from, fromPort)).c_str() : "none");
  }
  platform::CloseSocket(socket);
  return last ? 0 : 1;
}

// --- the peer-protocol probes' seven packets, in one of their wrappings -----------
int Peer() {
  if (g_arguments.size() < 3) return Usage();
  const auto server = Resolve(g_arguments[0]);
  if (!server) return 1;
  const auto port = static_cast<std::uint16_t>(std::stoi(g_arguments[1]));
  const std::string wrapping = g_arguments[2];
  if (wrapping != "scrambled" && wrapping != "bare" && wrapping != "http") return Usage();
  const platform::Socket socket = platform::CreateSocket(platform::SocketType::Tcp);
  platform::SetReceiveTimeout(socket, kAnswerWait);
  platform::SetSendTimeout(socket, kAnswerWait);
  if (!platform::ConnectIpv4(socket, *server, port)) {
    std::printf("error=connect errno=%s\n", platform::SocketErrorText(platform::LastSocketError()).c_str());
    platform::CloseSocket(socket);
    return 1;
  }
  static constexpr const char* kNames[] = {"handshake", "bitfield", "interested", "unchoke",
                                           "request",   "piece",    "have"};
  const auto table = talu::MakeProbePacketTable();
  int answered = 0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    Bytes buffer(1024);
    std::size_t length = buffer.size();
    table[i].builder(buffer.data(), &length);
    if (wrapping == "scrambled") {
      talu::ScrambleFrame(buffer.data(), &length);
    } else if (wrapping == "http") {
      const std::string header =
          "POST /service HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\nConnection: "
          "Keep-Alive\r\nContent-Length: " + std::to_string(length) +
          "\r\nHost: 127.0.0.1:8080\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT "
          "5.1; SV1;)\r\n\r\n";
      buffer.insert(buffer.begin(), header.begin(), header.end());
      length += header.size();
    }
    const long sent = platform::Send(socket, buffer.data(), length);
    std::uint8_t reply[1024];
    const long received = sent > 0 ? platform::Receive(socket, reply, sizeof reply) : -1;
    // A reset counts as closed: the server closed first, and the packet sent
    // since drew the reset that overtook the end of the stream.
    const bool reset = received < 0 && platform::LastSocketError() == platform::SocketErrors::kConnectionReset;
    std::printf("packet=%s answer=%s\n", kNames[i],
                received > 0    ? std::to_string(received).c_str()
                : received == 0 ? "closed"
                : reset         ? "closed (reset)"
                                : "none");
    if (received <= 0) break;
    ++answered;
  }
  platform::CloseSocket(socket);
  return answered == static_cast<int>(table.size()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--", 0) == 0) {
      if (i + 1 >= argc) return Usage();
      g_options[argument.substr(2)] = argv[++i];
    } else {
      g_arguments.push_back(argument);
    }
  }
  const std::string command = argv[1];
  if (command == "stun") return Stun();
  if (command == "ssdp") return Ssdp();
  if (command == "upnp") return Upnp();
  if (command == "udp") return Udp();
  if (command == "peer") return Peer();
  if (command == "http-get") return HttpGet();
  return Usage();
}
