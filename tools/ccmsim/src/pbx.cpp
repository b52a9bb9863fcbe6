// Pbx: the call model. Every state change happens here; the events follow from it.
#include "ccmsim/pbx.h"

#include <algorithm>

namespace ccmsim {
namespace {

std::string WithoutPauses(const std::string& digits) {
  std::string number;
  std::copy_if(digits.begin(), digits.end(), std::back_inserter(number), [](char c) { return c != ','; });
  return number;
}

bool IsCallControl(MsgType type) { return Category(type) == 0x0200; }

// The reply code of a call-control request that has one; 0 for dial, make call and pickup.
uint16_t ReplyCodeOf(MsgType type) {
  const uint16_t code = Code(type);
  if (code >= Code(MsgType::kOffhook) && code <= Code(MsgType::kRedirect) && type != MsgType::kDialDigits &&
      type != MsgType::kMakeCall) {
    return static_cast<uint16_t>(code + 0x0100);
  }
  return 0;
}

}  // namespace

const char* LineStateName(LineState state) {
  switch (state) {
    case LineState::kIdle: return "idle";
    case LineState::kDialTone: return "dialtone";
    case LineState::kRingBack: return "ringback";
    case LineState::kRinging: return "ringing";
    case LineState::kConnected: return "connected";
    case LineState::kHeld: return "held";
    case LineState::kBusy: return "busy";
  }
  return "?";
}

Pbx::Pbx(Directory directory, PbxSink& sink) : directory_(std::move(directory)), sink_(sink) {
  for (const DirectoryEntry& entry : directory_.entries()) phones_[entry.extension].entry = &entry;
}

// ---------------------------------------------------------------------------------------------
// Requests

void Pbx::HandleRequest(ConnectionId from, const Request& request) {
  switch (request.type) {
    case MsgType::kRegistration: return Register(from, request);
    case MsgType::kUnregister: return Unregister(from, request);
    default: break;
  }
  const bool phone_request = request.type == MsgType::kPhoneQuery || request.type == MsgType::kPhoneConfig;
  if (!IsCallControl(request.type) && !phone_request) return;  // nothing a telephone sends

  Telephone* phone = FindTelephone(request.extension);
  if (phone == nullptr || !phone->registered || phone->owner != from) {
    // Only the connection that registered an extension speaks for it.
    Event refusal;
    refusal.extension = request.extension;
    refusal.status = ReplyStatus::kNotRegistered;
    refusal.request_id = request.request_id;
    refusal.line = request.line;
    if (phone_request) {
      refusal.type = request.type == MsgType::kPhoneQuery ? MsgType::kPhoneQueryReply : MsgType::kPhoneConfigReply;
      refusal.operations = request.operations;
    } else if (const uint16_t reply = ReplyCodeOf(request.type); reply != 0) {
      refusal.type = static_cast<MsgType>(reply);
    } else {
      return;
    }
    sink_.Deliver(from, refusal);
    return;
  }
  HandleTelephoneRequest(*phone, request);
}

void Pbx::HandleTelephoneRequest(Telephone& phone, const Request& request) {
  const uint16_t line = request.line;
  switch (request.type) {
    case MsgType::kOffhook: return OffHook(phone, line, request.request_id);
    case MsgType::kAnswer: return AnswerLine(phone, line);
    case MsgType::kOnhook: return OnHook(phone, line);
    case MsgType::kDialDigits: return Dial(phone, line, request.digits);
    case MsgType::kTransfer: return Transfer(phone, request.request_id);
    case MsgType::kTransferEnd: return TransferEnd(phone, line);
    case MsgType::kConference: return Conference(phone, request.request_id);
    case MsgType::kAddToConf: return AddToConference(phone, line);
    case MsgType::kHold: return HoldLine(phone, line, true);
    case MsgType::kUnhold: return HoldLine(phone, line, false);
    case MsgType::kPark: return Park(phone, line, request.digits);
    case MsgType::kUnpark: return Unpark(phone, line, request.digits);
    case MsgType::kGroupPickup: return Pickup(phone, line, request.digits, false);
    case MsgType::kDirectedPickup: return Pickup(phone, line, request.digits, true);
    case MsgType::kPhoneQuery:
    case MsgType::kPhoneConfig: {
      Event reply;
      reply.type = request.type == MsgType::kPhoneQuery ? MsgType::kPhoneQueryReply : MsgType::kPhoneConfigReply;
      reply.operations = request.operations;
      reply.name = phone.entry->owner;
      Send(phone.entry->extension, reply);
      return;
    }
    default:
      // Blind transfer, forward and redirect are not offered; make call has no reply.
      if (const uint16_t reply = ReplyCodeOf(request.type); reply != 0) {
        Reply(phone, static_cast<MsgType>(reply), line, ReplyStatus::kNotSupported, request.request_id);
      }
      return;
  }
}

void Pbx::Register(ConnectionId from, const Request& request) {
  Event reply;
  reply.type = MsgType::kRegReply;
  reply.extension = request.extension;
  Telephone* phone = FindTelephone(request.extension);
  if (phone == nullptr || phone->entry->is_virtual) {
    reply.status = ReplyStatus::kUnknownExtension;
  } else if (phone->refuse_next) {
    phone->refuse_next = false;
    reply.status = ReplyStatus::kRefused;
  } else if (phone->entry->password && *phone->entry->password != request.password) {
    reply.status = ReplyStatus::kWrongPassword;
  } else if (phone->registered && phone->owner != from) {
    reply.status = ReplyStatus::kRegisteredElsewhere;
  } else {
    phone->registered = true;
    phone->owner = from;
  }
  sink_.Deliver(from, reply);
}

void Pbx::Unregister(ConnectionId from, const Request& request) {
  Event reply;
  reply.type = MsgType::kUnregReply;
  reply.extension = request.extension;
  Telephone* phone = FindTelephone(request.extension);
  if (phone == nullptr || !phone->registered || phone->owner != from) {
    reply.status = ReplyStatus::kNotRegistered;
  } else {
    ClearTelephone(*phone);
  }
  sink_.Deliver(from, reply);
}

void Pbx::ReleaseConnection(ConnectionId connection) {
  for (auto& [extension, phone] : phones_) {
    if (phone.registered && phone.owner == connection) ClearTelephone(phone);
  }
}

void Pbx::ClearTelephone(Telephone& phone) {
  // The telephone is gone: no replies for it; its calls end for the far parties.
  phone.registered = false;
  phone.owner = kNoConnection;
  for (uint16_t line = kFirstLine; line <= kLastLine; ++line) {
    if (FindLine(phone, line)->state != LineState::kIdle) LeaveCall(Party{phone.entry->extension, line});
  }
}

void Pbx::OffHook(Telephone& phone, uint16_t line, uint32_t request_id) {
  if (line == 0) {
    line = LowestLine(phone, LineState::kIdle);
    if (line == 0) return Reply(phone, MsgType::kOffhookReply, 0, ReplyStatus::kNoFreeLine, request_id);
  }
  Line* l = FindLine(phone, line);
  if (l == nullptr || l->state != LineState::kIdle) {
    return Reply(phone, MsgType::kOffhookReply, line, ReplyStatus::kInvalidLine, request_id);
  }
  l->state = LineState::kDialTone;
  Reply(phone, MsgType::kOffhookReply, line, ReplyStatus::kOk, request_id);
}

void Pbx::Dial(Telephone& phone, uint16_t line, const std::string& digits) {
  Line* l = FindLine(phone, line);
  if (l == nullptr) return;
  if (l->state == LineState::kConnected) return SendTones(phone, line, digits);
  if (l->state != LineState::kDialTone) return;  // digits on a line that is not dialling: ignored
  const std::string number = WithoutPauses(digits);
  if (number.empty()) return;
  if (directory_.IsOrbit(number)) {
    if (!Retrieve(phone, line, number)) SetBusy(phone, line, number);
    return;
  }
  Telephone* callee = FindTelephone(number);
  const bool present = callee != nullptr && (callee->registered || callee->entry->is_virtual);
  if (!present || callee == &phone || !IsIdle(*callee)) return SetBusy(phone, line, number);
  RingTelephone(phone, line, *callee, number);
}

void Pbx::RingTelephone(Telephone& caller, uint16_t line, Telephone& callee, const std::string& dialled) {
  const uint16_t callee_line = LowestLine(callee, LineState::kIdle);
  CallRecord call;
  call.id = next_call_++;
  call.alerting = true;
  call.dialled = dialled;
  const Party from{caller.entry->extension, line};
  const Party to{callee.entry->extension, callee_line};
  call.parties = {from, to};
  SetLine(from, LineState::kRingBack, call.id);
  SetLine(to, LineState::kRinging, call.id);
  calls_[call.id] = call;
  SendCallEvent(from, MsgType::kRingBack, &to, dialled);
  SendCallEvent(to, MsgType::kNewCall, &from, dialled);
  if (callee.entry->is_virtual && callee.entry->auto_answer) {
    sink_.StartTimer(directory_.RingMs(*callee.entry), TimerTask{TimerTask::Kind::kAnswer, to.extension, to.line, call.id});
  }
}

void Pbx::SetBusy(Telephone& phone, uint16_t line, const std::string& dialled) {
  FindLine(phone, line)->state = LineState::kBusy;
  Event busy;
  busy.type = MsgType::kBusy;
  busy.line = line;
  busy.address = dialled;
  busy.dialled = dialled;
  Send(phone.entry->extension, busy);
}

void Pbx::AnswerLine(Telephone& phone, uint16_t line) {
  Line* l = FindLine(phone, line);
  if (l == nullptr || l->state != LineState::kRinging) {
    return Reply(phone, MsgType::kAnswerReply, line, ReplyStatus::kInvalidLine);
  }
  CallRecord& call = calls_.at(l->call);
  call.alerting = false;
  for (const Party& p : call.parties) LineOf(p).state = LineState::kConnected;
  Reply(phone, MsgType::kAnswerReply, line, ReplyStatus::kOk);
  AnnounceConnected(call);
}

void Pbx::OnHook(Telephone& phone, uint16_t line) {
  Line* l = FindLine(phone, line);
  if (l == nullptr || l->state == LineState::kIdle) {
    return Reply(phone, MsgType::kOnhookReply, line, ReplyStatus::kInvalidLine);
  }
  Reply(phone, MsgType::kOnhookReply, line, ReplyStatus::kOk);
  LeaveCall(Party{phone.entry->extension, line});
}

void Pbx::HoldLine(Telephone& phone, uint16_t line, bool hold) {
  const MsgType reply = hold ? MsgType::kHoldReply : MsgType::kUnholdReply;
  Line* l = FindLine(phone, line);
  const LineState from = hold ? LineState::kConnected : LineState::kHeld;
  if (l == nullptr || l->state != from) return Reply(phone, reply, line, ReplyStatus::kInvalidLine);
  l->state = hold ? LineState::kHeld : LineState::kConnected;
  Reply(phone, reply, line, ReplyStatus::kOk);
}

void Pbx::SendTones(Telephone& phone, uint16_t line, const std::string& digits) {
  const Party self{phone.entry->extension, line};
  const CallRecord& call = calls_.at(LineOf(self).call);
  for (char c : digits) {
    if (c == ',') continue;
    Event local;
    local.type = MsgType::kDigitLocal;
    local.line = line;
    local.dtmf = static_cast<unsigned char>(c);
    Send(self.extension, local);
    for (const Party& p : call.parties) {
      if (p == self) continue;
      Event remote = local;
      remote.type = MsgType::kDigitRemote;
      remote.line = p.line;
      Send(p.extension, remote);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Transfer and conference

uint16_t Pbx::ActiveLine(const Telephone& phone) const { return LowestLine(phone, LineState::kConnected); }

void Pbx::Transfer(Telephone& phone, uint32_t request_id) {
  const uint16_t active = ActiveLine(phone);
  if (active == 0) return Reply(phone, MsgType::kTransferReply, 0, ReplyStatus::kInvalidLine, request_id);
  const uint16_t consult = LowestLine(phone, LineState::kIdle);
  if (consult == 0) return Reply(phone, MsgType::kTransferReply, 0, ReplyStatus::kNoFreeLine, request_id);
  FindLine(phone, active)->state = LineState::kHeld;
  *FindLine(phone, consult) = Line{LineState::kDialTone, 0, Line::Consult::kTransfer, active};
  Reply(phone, MsgType::kTransferReply, consult, ReplyStatus::kOk, request_id, active);
}

void Pbx::TransferEnd(Telephone& phone, uint16_t line) {
  const std::string& self = phone.entry->extension;
  Line* consult = FindLine(phone, line);
  Line* primary = consult == nullptr ? nullptr : FindLine(phone, consult->primary);
  const bool ready = consult != nullptr && consult->consult == Line::Consult::kTransfer && consult->call != 0 &&
                     primary != nullptr && primary->call != 0 &&
                     (consult->state == LineState::kRingBack || consult->state == LineState::kConnected ||
                      consult->state == LineState::kHeld);
  if (!ready) return Reply(phone, MsgType::kTransferEndReply, line, ReplyStatus::kInvalidLine);

  const uint16_t primary_line = consult->primary;
  CallRecord& held = calls_.at(primary->call);
  CallRecord& consulted = calls_.at(consult->call);
  std::vector<Party> others;
  for (const Party& p : held.parties) {
    if (p.extension != self || p.line != primary_line) others.push_back(p);
  }
  if (consulted.alerting && others.size() != 1) {
    // A ringing consultation can take over only a two-party call.
    return Reply(phone, MsgType::kTransferEndReply, line, ReplyStatus::kInvalidLine);
  }
  const uint64_t held_id = held.id;
  const uint64_t consult_id = consulted.id;
  FreeLine(Party{self, primary_line});
  FreeLine(Party{self, line});
  Reply(phone, MsgType::kTransferEndReply, line, ReplyStatus::kOk, 0, primary_line);

  CallRecord& merged = calls_.at(consult_id);
  std::erase(merged.parties, Party{self, line});
  if (merged.alerting) {
    // The transferred party now waits for the ringing telephone: it hears ring-back, and the
    // ringing telephone's caller identity changes to it.
    const Party caller = others.front();
    const Party callee = merged.parties.front();
    merged.parties = {caller, callee};
    SetLine(caller, LineState::kRingBack, consult_id);
    SendCallEvent(caller, MsgType::kRingBack, &callee, merged.dialled);
    SendCallEvent(callee, MsgType::kNewCall, &caller, merged.dialled);
  } else {
    for (const Party& p : others) {
      merged.parties.push_back(p);
      LineOf(p).call = consult_id;
    }
    AnnounceConnected(merged);
  }
  calls_.erase(held_id);
}

void Pbx::Conference(Telephone& phone, uint32_t request_id) {
  const uint16_t active = ActiveLine(phone);
  const uint16_t consult = LowestLine(phone, LineState::kIdle);
  ReplyStatus status = ReplyStatus::kOk;
  if (active == 0 || calls_.at(FindLine(phone, active)->call).parties.size() >= kMaxConferenceParties) {
    status = ReplyStatus::kConferenceNotPossible;
  } else if (consult == 0) {
    status = ReplyStatus::kNoFreeLine;
  }
  if (status != ReplyStatus::kOk) return Reply(phone, MsgType::kConferenceReply, 0, status, request_id);
  FindLine(phone, active)->state = LineState::kHeld;
  *FindLine(phone, consult) = Line{LineState::kDialTone, 0, Line::Consult::kConference, active};
  Reply(phone, MsgType::kConferenceReply, consult, ReplyStatus::kOk, request_id, active);
}

void Pbx::AddToConference(Telephone& phone, uint16_t line) {
  const std::string& self = phone.entry->extension;
  Line* consult = FindLine(phone, line);
  Line* primary = consult == nullptr ? nullptr : FindLine(phone, consult->primary);
  bool ready = consult != nullptr && consult->consult == Line::Consult::kConference &&
               consult->state == LineState::kConnected && primary != nullptr &&
               (primary->state == LineState::kHeld || primary->state == LineState::kConnected);
  if (ready) {
    ready = calls_.at(primary->call).parties.size() + calls_.at(consult->call).parties.size() - 1 <=
            kMaxConferenceParties;
  }
  if (!ready) return Reply(phone, MsgType::kAddToConfReply, line, ReplyStatus::kConferenceNotPossible);

  const uint16_t primary_line = consult->primary;
  CallRecord& bridge = calls_.at(primary->call);
  const uint64_t consult_id = consult->call;
  for (const Party& p : calls_.at(consult_id).parties) {
    if (p.extension == self && p.line == line) continue;
    bridge.parties.push_back(p);
    LineOf(p).call = bridge.id;
  }
  calls_.erase(consult_id);
  FreeLine(Party{self, line});
  primary->state = LineState::kConnected;
  Reply(phone, MsgType::kAddToConfReply, line, ReplyStatus::kOk, 0, primary_line);
  AnnounceConnected(bridge);
}

// ---------------------------------------------------------------------------------------------
// Park and pickup

void Pbx::Park(Telephone& phone, uint16_t line, const std::string& digits) {
  const std::string orbit = WithoutPauses(digits);
  Line* l = FindLine(phone, line);
  if (l == nullptr || (l->state != LineState::kConnected && l->state != LineState::kHeld) ||
      calls_.at(l->call).parties.size() != 2) {
    return Reply(phone, MsgType::kParkReply, line, ReplyStatus::kInvalidLine);
  }
  if (!directory_.IsOrbit(orbit) || parked_.count(orbit) != 0) {
    return Reply(phone, MsgType::kParkReply, line, ReplyStatus::kInvalidNumber);
  }
  CallRecord& call = calls_.at(l->call);
  const Party self{phone.entry->extension, line};
  std::erase(call.parties, self);
  call.orbit = orbit;
  parked_[orbit] = call.id;
  FreeLine(self);
  Reply(phone, MsgType::kParkReply, line, ReplyStatus::kOk);
  // The parking telephone's line is free again, and it is told so as for any cleared line.
  Reply(phone, MsgType::kOnhookReply, line, ReplyStatus::kOk);
}

void Pbx::Unpark(Telephone& phone, uint16_t line, const std::string& digits) {
  Line* l = FindLine(phone, line);
  if (l == nullptr || (l->state != LineState::kIdle && l->state != LineState::kDialTone)) {
    return Reply(phone, MsgType::kUnparkReply, line, ReplyStatus::kInvalidLine);
  }
  const std::string orbit = WithoutPauses(digits);
  auto it = parked_.find(orbit);
  if (it == parked_.end() || calls_.at(it->second).parties.front().extension == phone.entry->extension) {
    return Reply(phone, MsgType::kUnparkReply, line, ReplyStatus::kInvalidNumber);
  }
  Reply(phone, MsgType::kUnparkReply, line, ReplyStatus::kOk);
  Retrieve(phone, line, orbit);
}

bool Pbx::Retrieve(Telephone& phone, uint16_t line, const std::string& orbit) {
  auto it = parked_.find(orbit);
  if (it == parked_.end()) return false;
  CallRecord& call = calls_.at(it->second);
  if (call.parties.front().extension == phone.entry->extension) return false;
  parked_.erase(it);
  call.orbit.clear();
  const Party self{phone.entry->extension, line};
  call.parties.push_back(self);
  SetLine(self, LineState::kConnected, call.id);
  AnnounceConnected(call);
  return true;
}

void Pbx::Pickup(Telephone& phone, uint16_t line, const std::string& target, bool directed) {
  Line* l = FindLine(phone, line);
  if (l == nullptr || (l->state != LineState::kIdle && l->state != LineState::kDialTone)) return;
  const std::string wanted = WithoutPauses(target);
  const std::string group = wanted.empty() ? phone.entry->group : wanted;
  // The ringing line to take: at the named telephone, or at the first member of the group.
  std::optional<Party> ringing;
  for (auto& [extension, other] : phones_) {
    if (&other == &phone || ringing) continue;
    if (directed ? extension != wanted : (group.empty() || other.entry->group != group)) continue;
    if (const uint16_t r = LowestLine(other, LineState::kRinging); r != 0) ringing = Party{extension, r};
  }
  if (!ringing) {
    if (l->state == LineState::kDialTone) SetBusy(phone, line, wanted);
    return;
  }
  CallRecord& call = calls_.at(LineOf(*ringing).call);
  FreeLine(*ringing);
  Event cleared;
  cleared.type = MsgType::kOnhookReply;
  cleared.line = ringing->line;
  Send(ringing->extension, cleared);
  const Party self{phone.entry->extension, line};
  call.parties.back() = self;
  call.alerting = false;
  LineOf(call.parties.front()).state = LineState::kConnected;
  SetLine(self, LineState::kConnected, call.id);
  AnnounceConnected(call);
}

// ---------------------------------------------------------------------------------------------
// Leaving calls

void Pbx::FreeLine(const Party& party) {
  Telephone& phone = *FindTelephone(party.extension);
  LineOf(party) = Line{};
  // A consultation that served this line is now a line of its own.
  for (Line& other : phone.lines) {
    if (other.primary == party.line) {
      other.consult = Line::Consult::kNone;
      other.primary = 0;
    }
  }
}

void Pbx::LeaveCall(const Party& party) {
  const uint64_t id = LineOf(party).call;
  FreeLine(party);
  auto it = calls_.find(id);
  if (it == calls_.end()) return;
  CallRecord& call = it->second;
  std::erase(call.parties, party);
  if (!call.orbit.empty()) {
    // The parked party gave up waiting.
    parked_.erase(call.orbit);
    calls_.erase(it);
    return;
  }
  if (call.parties.size() >= 2) return;  // the rest of a conference goes on
  // The last party is told that the far end hung up, and its line is cleared as well.
  for (const Party& rest : call.parties) {
    SendCallEvent(rest, MsgType::kOnhookRemote, &party);
    FreeLine(rest);
    Event cleared;
    cleared.type = MsgType::kOnhookReply;
    cleared.line = rest.line;
    Send(rest.extension, cleared);
  }
  calls_.erase(id);
}

void Pbx::AnnounceConnected(const CallRecord& call) {
  // Each party learns who it talks to; in a conference bridge that is the conference.
  for (const Party& p : call.parties) {
    const Party* other = nullptr;
    if (call.parties.size() == 2) other = call.parties[0] == p ? &call.parties[1] : &call.parties[0];
    SendCallEvent(p, MsgType::kConnected, other, call.dialled);
    StartHangupTimer(p, call.id);
  }
}

void Pbx::StartHangupTimer(const Party& party, uint64_t call) {
  const DirectoryEntry& entry = *FindTelephone(party.extension)->entry;
  if (entry.is_virtual && entry.hangup_ms > 0) {
    sink_.StartTimer(entry.hangup_ms, TimerTask{TimerTask::Kind::kHangup, party.extension, party.line, call});
  }
}

void Pbx::HandleTimer(const TimerTask& task) {
  Telephone* phone = FindTelephone(task.extension);
  Line* line = phone == nullptr ? nullptr : FindLine(*phone, task.line);
  if (line == nullptr || line->call != task.call) return;  // the call has moved on
  if (task.kind == TimerTask::Kind::kAnswer && line->state == LineState::kRinging) {
    AnswerLine(*phone, task.line);
  } else if (task.kind == TimerTask::Kind::kHangup && line->state != LineState::kIdle) {
    OnHook(*phone, task.line);
  }
}

// ---------------------------------------------------------------------------------------------
// A person at a telephone

Result<Pbx::Telephone*> Pbx::UsableTelephone(const std::string& extension) {
  Telephone* phone = FindTelephone(extension);
  if (phone == nullptr) return Status::Error("extension " + extension + " is not in the directory");
  if (!phone->entry->is_virtual && !phone->registered) {
    return Status::Error("extension " + extension + " is not registered");
  }
  return phone;
}

Status Pbx::Lift(const std::string& extension, uint16_t line) {
  Result<Telephone*> phone = UsableTelephone(extension);
  if (!phone.ok()) return phone.status();
  if (line == 0) line = LowestLine(*phone.value(), LineState::kIdle);
  Line* l = FindLine(*phone.value(), line);
  if (l == nullptr || l->state != LineState::kIdle) return Status::Error("no free line appearance");
  OffHook(*phone.value(), line, 0);
  return Status::Ok();
}

Status Pbx::Press(const std::string& extension, const std::string& digits) {
  Result<Telephone*> phone = UsableTelephone(extension);
  if (!phone.ok()) return phone.status();
  uint16_t line = LowestLine(*phone.value(), LineState::kDialTone);
  if (line == 0) line = ActiveLine(*phone.value());
  if (line == 0) return Status::Error("extension " + extension + " has no line with dial tone or a connected call");
  Dial(*phone.value(), line, digits);
  return Status::Ok();
}

Status Pbx::Hook(const std::string& extension, uint16_t line) {
  Result<Telephone*> phone = UsableTelephone(extension);
  if (!phone.ok()) return phone.status();
  Line* l = FindLine(*phone.value(), line);
  if (l == nullptr || l->state == LineState::kIdle) {
    return Status::Error("line " + std::to_string(line) + " of " + extension + " is not in use");
  }
  OnHook(*phone.value(), line);
  return Status::Ok();
}

Status Pbx::Call(const std::string& from, const std::string& to) {
  Result<Telephone*> phone = UsableTelephone(from);
  if (!phone.ok()) return phone.status();
  const uint16_t line = LowestLine(*phone.value(), LineState::kIdle);
  if (line == 0) return Status::Error("extension " + from + " has no free line appearance");
  OffHook(*phone.value(), line, 0);
  Dial(*phone.value(), line, to);
  return Status::Ok();
}

Status Pbx::Answer(const std::string& extension) {
  Result<Telephone*> phone = UsableTelephone(extension);
  if (!phone.ok()) return phone.status();
  const uint16_t line = LowestLine(*phone.value(), LineState::kRinging);
  if (line == 0) return Status::Error("extension " + extension + " is not ringing");
  AnswerLine(*phone.value(), line);
  return Status::Ok();
}

Status Pbx::Hangup(const std::string& extension) {
  Result<Telephone*> phone = UsableTelephone(extension);
  if (!phone.ok()) return phone.status();
  for (LineState state : {LineState::kConnected, LineState::kRingBack, LineState::kBusy, LineState::kDialTone,
                          LineState::kRinging, LineState::kHeld}) {
    if (const uint16_t line = LowestLine(*phone.value(), state); line != 0) {
      OnHook(*phone.value(), line);
      return Status::Ok();
    }
  }
  return Status::Error("extension " + extension + " has no line in use");
}

Status Pbx::Digits(const std::string& extension, const std::string& digits) {
  Result<Telephone*> phone = UsableTelephone(extension);
  if (!phone.ok()) return phone.status();
  const uint16_t line = ActiveLine(*phone.value());
  if (line == 0) return Status::Error("extension " + extension + " has no connected call");
  SendTones(*phone.value(), line, digits);
  return Status::Ok();
}

Status Pbx::RefuseNextRegistration(const std::string& extension) {
  Telephone* phone = FindTelephone(extension);
  if (phone == nullptr || phone->entry->is_virtual) {
    return Status::Error("extension " + extension + " is not a registrable extension");
  }
  phone->refuse_next = true;
  return Status::Ok();
}

// ---------------------------------------------------------------------------------------------
// Observation

bool Pbx::IsRegistered(const std::string& extension) const {
  const Telephone* phone = FindTelephone(extension);
  return phone != nullptr && phone->registered;
}

ConnectionId Pbx::OwnerOf(const std::string& extension) const {
  const Telephone* phone = FindTelephone(extension);
  return phone != nullptr && phone->registered ? phone->owner : kNoConnection;
}

std::vector<std::string> Pbx::RegisteredExtensions() const {
  std::vector<std::string> result;
  for (const auto& [extension, phone] : phones_) {
    if (phone.registered) result.push_back(extension);
  }
  return result;
}

LineState Pbx::GetLineState(const std::string& extension, uint16_t line) const {
  const Telephone* phone = FindTelephone(extension);
  if (phone == nullptr || line < kFirstLine || line > kLastLine) return LineState::kIdle;
  return phone->lines[line - kFirstLine].state;
}

std::vector<std::string> Pbx::Describe() const {
  std::vector<std::string> out;
  for (const auto& [extension, phone] : phones_) {
    std::string lines;
    for (uint16_t line = kFirstLine; line <= kLastLine; ++line) {
      const Line& l = phone.lines[line - kFirstLine];
      if (l.state != LineState::kIdle) {
        lines += " " + std::to_string(line) + ":" + LineStateName(l.state);
        if (l.call != 0) lines += "(call " + std::to_string(l.call) + ")";
      }
    }
    if (!phone.registered && lines.empty()) continue;
    std::string text = (phone.entry->is_virtual ? "virtual " : "phone ") + extension + " \"" + phone.entry->owner + "\"";
    if (phone.registered) text += " registered (connection " + std::to_string(phone.owner) + ")";
    if (!lines.empty()) text += " lines" + lines;
    out.push_back(text);
  }
  for (const auto& [id, call] : calls_) {
    std::string text = "call " + std::to_string(id) + " ";
    text += !call.orbit.empty() ? "parked at " + call.orbit : call.alerting ? "ringing" : "connected";
    text += ":";
    for (const Party& p : call.parties) text += " " + p.extension + "/" + std::to_string(p.line);
    out.push_back(text);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Lookups and output

Pbx::Telephone* Pbx::FindTelephone(const std::string& extension) {
  auto it = phones_.find(extension);
  return it == phones_.end() ? nullptr : &it->second;
}

const Pbx::Telephone* Pbx::FindTelephone(const std::string& extension) const {
  auto it = phones_.find(extension);
  return it == phones_.end() ? nullptr : &it->second;
}

void Pbx::SetLine(const Party& party, LineState state, uint64_t call) {
  Line& line = LineOf(party);
  line.state = state;
  line.call = call;
}

Pbx::Line& Pbx::LineOf(const Party& party) { return *FindLine(*FindTelephone(party.extension), party.line); }

Pbx::Line* Pbx::FindLine(Telephone& phone, uint16_t line) {
  if (line < kFirstLine || line > kLastLine) return nullptr;
  return &phone.lines[line - kFirstLine];
}

uint16_t Pbx::LowestLine(const Telephone& phone, LineState state) {
  for (int i = 0; i < kLineCount; ++i) {
    if (phone.lines[i].state == state) return static_cast<uint16_t>(kFirstLine + i);
  }
  return 0;
}

bool Pbx::IsIdle(const Telephone& phone) {
  return std::all_of(phone.lines.begin(), phone.lines.end(), [](const Line& l) { return l.state == LineState::kIdle; });
}

void Pbx::Send(const std::string& extension, Event event) {
  const Telephone* phone = FindTelephone(extension);
  if (phone == nullptr) return;
  event.extension = extension;
  if (phone->registered) {
    sink_.Deliver(phone->owner, event);
  } else if (phone->entry->is_virtual) {
    sink_.Deliver(kNoConnection, event);
  }
}

void Pbx::Reply(Telephone& phone, MsgType type, uint16_t line, ReplyStatus status, uint32_t request_id,
                uint16_t second_line) {
  Event reply;
  reply.type = type;
  reply.line = line;
  reply.second_line = second_line;
  reply.status = status;
  reply.request_id = request_id;
  Send(phone.entry->extension, reply);
}

void Pbx::SendCallEvent(const Party& to, MsgType type, const Party* other, const std::string& dialled) {
  Event event;
  event.type = type;
  event.line = to.line;
  event.dialled = dialled;
  if (other != nullptr) {
    event.address = other->extension;
    event.name = FindTelephone(other->extension)->entry->owner;
  } else {
    event.name = "Conference";
  }
  Send(to.extension, event);
}

}  // namespace ccmsim
