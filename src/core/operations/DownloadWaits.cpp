// The download's waits for something from outside the link, between two of its steps: the user's
// answer to a question, and the conversion of a completed recording. While it waits the download
// holds its place (line mode, no timer of its own running) with the keep-alive on, so that a
// recorder that goes meanwhile is noticed; a result that comes after the download has ended, or
// after the download object is gone, is dropped.
#include "audio/Im2Converter.h"
#include "operations/Download.h"
#include "ports/UserInterface.h"

namespace recdesk::operations {

std::uint64_t Download::beginWait(Waiting what) {
  waiting_ = what;
  keepAliveWhileWaiting_ = false;
  return ++waitToken_;
}

bool Download::endWait(std::uint64_t token) {
  if (token != waitToken_ || waiting_ == Waiting::No) return false;
  waiting_ = Waiting::No;
  if (keepAliveWhileWaiting_) {
    keepAliveWhileWaiting_ = false;
    services_.stopKeepAliveAndReplyWait();
  }
  return true;
}

void Download::holdWhileWaiting(std::uint64_t token) {
  if (waiting_ == Waiting::No || token != waitToken_) return;  // the result came at once
  keepAliveWhileWaiting_ = true;
  services_.refreshControls();
  services_.startKeepAlive();
}

void Download::ask(ports::Question question, std::function<void(const ports::Reply&)> then) {
  const std::uint64_t token = beginWait(Waiting::Answer);
  services_.ui().ask(question, [this, life = std::weak_ptr<char>(life_), token, then](const ports::Reply& reply) {
    if (life.expired() || !endWait(token)) return;
    then(reply);
  });
  holdWhileWaiting(token);
}

// Automatic decoding of a completed recording. Replacing a WAV file of an earlier decoding is asked
// first; meanwhile, and while the conversion runs, the download waits between two recordings.
void Download::convertThenGoOn() {
  phase_ = 0;  // the transfer is over: stray replies of it find nothing to do
  auto question = audio::overwriteQuestion(files_.wav.string());
  if (!question) {
    startConversion();
    return;
  }
  ask(std::move(*question), [this](const ports::Reply& reply) {
    if (reply.answer == ports::Answer::Yes) {
      startConversion();
      return;
    }
    outcome().conversion = ConversionOutcome{false, {}, audio::declinedMessage(files_.wav.string())};
    goOn(true);
  });
}

void Download::startConversion() {
  if (!convert) {
    outcome().conversion = convertHere();
    goOn(true);
    return;
  }
  const std::uint64_t token = beginWait(Waiting::Conversion);
  convert(files_, [this, life = std::weak_ptr<char>(life_), token](ConversionOutcome result) {
    if (life.expired() || !endWait(token)) return;
    outcome().conversion = std::move(result);
    goOn(true);
  });
  holdWhileWaiting(token);
}

ConversionOutcome Download::convertHere() {
  return conversionOutcomeOf(audio::convertRecording(
      services_.ui(), [this](const std::string& text) { services_.log(text); }, files_.im2.string(),
      files_.wav.string(), files_.info.string(), services_.settings(), false));
}

ConversionOutcome conversionOutcomeOf(const audio::ConvertResult& result) {
  ConversionOutcome c;
  c.ok = result.ok();
  c.message = result.message;
  for (const auto& part : result.parts) {
    c.files.emplace_back(part.wavPath);
    c.files.emplace_back(part.infoPath);
  }
  return c;
}

}  // namespace recdesk::operations
