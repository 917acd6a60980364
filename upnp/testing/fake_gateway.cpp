#include "upnp/testing/fake_gateway.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/socket.h"

namespace talu::upnp::testing {

namespace {

using namespace std::chrono_literals;

// How often the fakes' threads look at their stop or release flags.
constexpr int kPollIntervalMs = 20;
// Binding the same port on every address can collide with another test's
// socket; a few fresh ephemeral ports make that vanishingly unlikely.
constexpr int kBindAttempts = 16;
// Larger than any search or request the client sends.
constexpr std::size_t kMaxDatagram = 65536;
constexpr std::size_t kMaxRequest = 65536;

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const std::size_t start = text.find(open);
  if (start == std::string::npos) return {};
  const std::size_t end = text.find(close, start + open.size());
  if (end == std::string::npos) return {};
  return text.substr(start + open.size(), end - start - open.size());
}

int BindUdp(std::uint32_t address, std::uint16_t port) {
  const int fd = platform::CreateSocket(platform::SocketType::Udp);
  if (fd < 0) return -1;
  const int on = 1;
  if (!platform::BindIpv4(fd, address, port) ||
      setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
    platform::CloseSocket(fd);
    return -1;
  }
  return fd;
}

std::int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Reads one request: the header block and as much body as Content-Length says.
std::string ReadRequest(int fd) {
  std::string request;
  char buffer[4096];
  std::size_t wanted = std::string::npos;
  while (request.size() < kMaxRequest) {
    if (wanted == std::string::npos) {
      const std::size_t headerEnd = request.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        const std::string length = Between(request + "\r\n", "Content-Length: ", "\r\n");
        wanted = headerEnd + 4 + std::strtoul(length.c_str(), nullptr, 10);
      }
    }
    if (wanted != std::string::npos && request.size() >= wanted) break;
    const long piece = ::recv(fd, buffer, sizeof buffer, 0);
    if (piece <= 0) break;
    request.append(buffer, static_cast<std::size_t>(piece));
  }
  return request;
}

void SendAll(int fd, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const long piece = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (piece <= 0) return;
    sent += static_cast<std::size_t>(piece);
  }
}

std::string HttpReply(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\n" +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string SoapFault(int code, const std::string& description) {
  return "<?xml version=\"1.0\"?>\r\n<s:Envelope "
         "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
         "<faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
         "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
         std::to_string(code) + "</errorCode><errorDescription>" + description +
         "</errorDescription></UPnPError></detail></s:Fault></s:Body></s:Envelope>\r\n";
}

std::string ActionResponse(const std::string& action, const std::string& serviceType) {
  return "<?xml version=\"1.0\"?>\r\n<s:Envelope "
         "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><u:" +
         action + "Response xmlns:u=\"" + serviceType + "\"/></s:Body></s:Envelope>\r\n";
}

}  // namespace

// --- SSDP side -------------------------------------------------------------

FakeSsdpListener::FakeSsdpListener(std::vector<std::uint32_t> addresses, Answers answers)
    : answers_(std::move(answers)) {
  if (!BindAll(addresses)) return;
  addresses_ = std::move(addresses);
  thread_ = std::thread([this] { ReceiveLoop(); });
}

FakeSsdpListener::~FakeSsdpListener() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  for (const int fd : sockets_) platform::CloseSocket(fd);
}

bool FakeSsdpListener::BindAll(const std::vector<std::uint32_t>& addresses) {
  for (int attempt = 0; attempt < kBindAttempts && !addresses.empty(); ++attempt) {
    const int first = BindUdp(addresses.front(), 0);
    if (first < 0) return false;
    const std::uint16_t port = platform::LocalPort(first);
    std::vector<int> bound = {first};
    for (std::size_t i = 1; i < addresses.size(); ++i) {
      const int fd = BindUdp(addresses[i], port);
      if (fd < 0) break;
      bound.push_back(fd);
    }
    if (bound.size() == addresses.size()) {
      sockets_ = std::move(bound);
      port_ = port;
      return true;
    }
    for (const int fd : bound) platform::CloseSocket(fd);
  }
  return false;
}

void FakeSsdpListener::ReceiveLoop() {
  std::vector<pollfd> watched;
  for (const int fd : sockets_) watched.push_back({fd, POLLIN, 0});
  while (!stopping_) {
    if (::poll(watched.data(), watched.size(), kPollIntervalMs) <= 0) continue;
    for (std::size_t i = 0; i < watched.size(); ++i) {
      if (watched[i].revents & POLLIN) ReceiveOne(i);
    }
  }
}

void FakeSsdpListener::ReceiveOne(std::size_t socketIndex) {
  std::vector<char> buffer(kMaxDatagram);
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))] = {};
  sockaddr_in from{};
  iovec piece{buffer.data(), buffer.size()};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &piece;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const long received = ::recvmsg(sockets_[socketIndex], &message, MSG_DONTWAIT);
  if (received < 0) return;
  Received entry;
  entry.kernelTimeNs = NowNs();
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
      timespec stamp{};
      std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
      entry.kernelTimeNs = static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
    }
  }
  entry.search.to = addresses_[socketIndex];
  entry.search.text.assign(buffer.data(), static_cast<std::size_t>(received));
  const std::vector<std::string> answers =
      answers_ ? answers_(entry.search.to, entry.search.text) : std::vector<std::string>{};
  for (const std::string& answer : answers) {
    ::sendto(sockets_[socketIndex], answer.data(), answer.size(), 0,
             reinterpret_cast<const sockaddr*>(&from), sizeof from);
  }
  {
    std::lock_guard lock(mutex_);
    received_.push_back(std::move(entry));
  }
  arrived_.notify_all();
}

std::vector<FakeSsdpListener::Search> FakeSsdpListener::Searches() const {
  std::vector<Received> sorted;
  {
    std::lock_guard lock(mutex_);
    sorted = received_;
  }
  std::stable_sort(sorted.begin(), sorted.end(), [](const Received& a, const Received& b) {
    return a.kernelTimeNs < b.kernelTimeNs;
  });
  std::vector<Search> searches;
  for (const Received& entry : sorted) searches.push_back(entry.search);
  return searches;
}

bool FakeSsdpListener::WaitForSearches(std::size_t count, std::chrono::milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, bound, [&] { return received_.size() >= count; });
}

std::string SearchedServiceType(const std::string& search) {
  return Between(search, "\r\nST: ", "\r\n");
}

std::string SearchAnswerText(const std::string& location, const std::string& serviceType) {
  return "HTTP/1.1 200 OK\r\n"
         "CACHE-CONTROL: max-age=120\r\n"
         "ST: " + serviceType + "\r\n"
         "USN: uuid:6f3c1e8a-0000-4000-8000-000000000001::" + serviceType + "\r\n"
         "EXT:\r\n"
         "SERVER: Linux/6.1 UPnP/1.1 FakeGateway/1.0\r\n"
         "LOCATION: " + location + "\r\n"
         "\r\n";
}

std::string DeviceDescription(const std::string& serviceType, const std::string& controlUrl) {
  return "<?xml version=\"1.0\"?>\r\n"
         "<root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
         "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
         "<deviceList><device>"
         "<deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType><serviceList><service>"
         "<serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>"
         "<controlURL>/ctl/CmnIfCfg</controlURL></service></serviceList>"
         "<deviceList><device>"
         "<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>"
         "<serviceList><service><serviceType>" + serviceType + "</serviceType>"
         "<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>"
         "<controlURL>" + controlUrl + "</controlURL>"
         "<eventSubURL>/evt/IPConn</eventSubURL></service></serviceList>"
         "</device></deviceList></device></deviceList></device></root>\r\n";
}

// --- HTTP side -------------------------------------------------------------

FakeGatewayHttp::FakeGatewayHttp(GatewayBehaviour behaviour) : behaviour_(std::move(behaviour)) {
  if (behaviour_.description.empty()) {
    behaviour_.description = DeviceDescription(
        "urn:schemas-upnp-org:service:WANIPConnection:1", behaviour_.controlPath);
  }
  server_ = std::make_unique<responders::TcpTestServer>([this](int fd) { Serve(fd); });
}

FakeGatewayHttp::~FakeGatewayHttp() {
  released_ = true;
  server_.reset();
}

void FakeGatewayHttp::Serve(int fd) {
  const std::string request = ReadRequest(fd);
  if (CarryOutSilently(request)) {
    HoldUntilReleased(fd);
    return;
  }
  const std::string reply = Answer(request);
  if (!reply.empty()) SendAll(fd, reply);
  const bool isDescription = request.rfind("GET ", 0) == 0;
  if (isDescription && behaviour_.holdDescriptionConnection) HoldUntilReleased(fd);
}

std::string FakeGatewayHttp::Answer(const std::string& request) {
  if (request.rfind("GET ", 0) == 0) {
    const std::string path = Between(request, "GET ", " HTTP/1.1");
    Record(request, "GET " + path);
    if (path != behaviour_.descriptionPath) return HttpReply("404 Not Found", "");
    return HttpReply("200 OK", behaviour_.description);
  }
  if (request.rfind("POST ", 0) == 0) return AnswerAction(request);
  Record(request, "unknown");
  return HttpReply("400 Bad Request", "");
}

bool FakeGatewayHttp::CarryOutSilently(const std::string& request) {
  const std::string protocol = Between(request, "<NewProtocol>", "</NewProtocol>");
  if (request.find("#AddPortMapping\"") == std::string::npos ||
      behaviour_.silentAddProtocols.count(protocol) == 0) {
    return false;
  }
  const std::string key = protocol + " " + Between(request, "<NewExternalPort>", "</NewExternalPort>");
  Record(request, "AddPortMapping " + key);
  std::lock_guard lock(mutex_);
  mappings_.insert(key);
  return true;
}

std::string FakeGatewayHttp::AnswerAction(const std::string& request) {
  const std::string target = Between(request, "POST ", " HTTP/1.1");
  const std::string soapAction = Between(request, "SOAPACTION: \"", "\"");
  const std::string serviceType = soapAction.substr(0, soapAction.find('#'));
  const std::string action = soapAction.substr(soapAction.find('#') + 1);
  const std::string protocol = Between(request, "<NewProtocol>", "</NewProtocol>");
  const std::string key = protocol + " " + Between(request, "<NewExternalPort>", "</NewExternalPort>");
  if (action == "AddPortMapping" && behaviour_.stalledAddProtocols.count(protocol) != 0) {
    CountHeld(+1);
    while (!released_) std::this_thread::sleep_for(std::chrono::milliseconds(kPollIntervalMs));
    CountHeld(-1);
  }
  Record(request, action + " " + key);
  if (target != behaviour_.controlPath) return HttpReply("404 Not Found", "");
  std::lock_guard lock(mutex_);
  if (action == "AddPortMapping") {
    if (behaviour_.acceptedProtocols.count(protocol) == 0) {
      return HttpReply("500 Internal Server Error", SoapFault(718, "ConflictInMappingEntry"));
    }
    mappings_.insert(key);
    return HttpReply("200 OK", ActionResponse(action, serviceType));
  }
  if (action == "DeletePortMapping") {
    const bool existed = mappings_.erase(key) != 0;
    if (!existed && !behaviour_.deleteMissingAnswersOk) {
      return HttpReply("500 Internal Server Error", SoapFault(714, "NoSuchEntryInArray"));
    }
    return HttpReply("200 OK", ActionResponse(action, serviceType));
  }
  return HttpReply("500 Internal Server Error", SoapFault(401, "Invalid Action"));
}

void FakeGatewayHttp::CountHeld(int change) {
  {
    std::lock_guard lock(mutex_);
    held_ = held_ + static_cast<std::size_t>(change);
  }
  changed_.notify_all();
}

void FakeGatewayHttp::HoldUntilReleased(int fd) {
  CountHeld(+1);
  while (!released_) {
    pollfd watched{fd, POLLIN, 0};
    if (::poll(&watched, 1, kPollIntervalMs) > 0) {
      char byte;
      if (::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0) break;  // the client closed, or shutdown
    }
  }
  CountHeld(-1);
}

void FakeGatewayHttp::Record(const std::string& request, const std::string& exchange) {
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    exchanges_.push_back(exchange);
  }
  changed_.notify_all();
}

std::vector<std::string> FakeGatewayHttp::Exchanges() const {
  std::lock_guard lock(mutex_);
  return exchanges_;
}

std::vector<std::string> FakeGatewayHttp::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::set<std::string> FakeGatewayHttp::Mappings() const {
  std::lock_guard lock(mutex_);
  return mappings_;
}

bool FakeGatewayHttp::WaitForExchanges(std::size_t count, std::chrono::milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, bound, [&] { return exchanges_.size() >= count; });
}

bool FakeGatewayHttp::WaitForHeldConnections(std::size_t count,
                                             std::chrono::milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, bound, [&] { return held_ >= count; });
}

void FakeGatewayHttp::ReleaseHeldConnections() { released_ = true; }

}  // namespace talu::upnp::testing
