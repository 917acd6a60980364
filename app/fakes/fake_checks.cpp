#include "app/fakes/fake_checks.h"

#include <cstdio>
#include <thread>

namespace talu::fakes {

namespace {

std::atomic<FakePlan*> g_plan{nullptr};

ConnectionKind FakeInternetCheck() { return g_plan.load()->connection; }

void FakeOpen() { ++g_plan.load()->opened; }

int AnimationTimerOf(int row) {
  if (row == rows::kUpnp) return kUpnpTimerId;
  if (row == rows::kNatType) return kNatTypeTimerId;
  return 0;
}

void WaitAsPlanned(FakePlan& plan) {
  if (plan.gate) {
    plan.gate->wait();
    std::this_thread::sleep_for(plan.lingerAfterGate);
  } else {
    std::this_thread::sleep_for(plan.workerTime);
  }
}

template <int Row>
int FakeWorker(CheckRunState* dialog) {
  FakePlan& plan = *g_plan.load();
  ++plan.workersStarted;
  ++plan.workersRunning;
  dialog->ResultTable.SetResultText(Row, kCheckingMarker);
  const int timerId = AnimationTimerOf(Row);
  if (timerId != 0) dialog->ResultTable.StartTimer(timerId, kAnimationPeriod);
  if (Row == rows::kNatType && !plan.diagnosticLine.empty()) {
    std::fprintf(stderr, "%s\n", plan.diagnosticLine.c_str());
  }
  WaitAsPlanned(plan);
  if (timerId != 0) dialog->ResultTable.StopTimer(timerId);
  dialog->ResultTable.SetResultText(Row, FinalText(Row));
  --plan.workersRunning;
  return 0;
}

}  // namespace

void UsePlan(FakePlan* plan) { g_plan = plan; }

std::string FinalText(int row) {
  if (row == rows::kUpnp) return "UPnp映射成功";
  if (row == rows::kNatType) return "网络类型为:1";
  return "正常";
}

CheckSuite FakeSuite() {
  CheckSuite suite;
  suite.workers.checkInternetConnection = FakeInternetCheck;
  suite.workers.upnp = FakeWorker<rows::kUpnp>;
  suite.workers.natType = FakeWorker<rows::kNatType>;
  suite.workers.scheduler = FakeWorker<rows::kScheduler>;
  suite.workers.highSpeedScheduler = FakeWorker<rows::kHighSpeedScheduler>;
  suite.workers.peerProtocol = FakeWorker<rows::kPeerProtocol>;
  suite.workers.bt = FakeWorker<rows::kBt>;
  suite.workers.http = FakeWorker<rows::kHttp>;
  suite.prepareOnOpen = FakeOpen;
  return suite;
}

}  // namespace talu::fakes
