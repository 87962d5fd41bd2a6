#include "FakeSession.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "FlashPage.h"
#include "recording/RecordingWriter.h"
#include "session/Protocol.h"

namespace recdesk::test {

// ---- FakeSession ----

bool FakeSession::sendLine(const std::string& line, bool /*expectReply*/, AfterSent afterSent) {
  if (failWrites) return false;
  lines.push_back(line);
  if (afterSent) afterSent();
  if (recorder_) recorder_->onLine(line);
  return true;
}

bool FakeSession::sendByte(std::uint8_t value) {
  if (failWrites) return false;
  controlBytes.push_back(static_cast<char>(value));
  if (recorder_) recorder_->onControl(static_cast<char>(value));
  return true;
}

void FakeSession::deliverBytes(const std::vector<std::uint8_t>& bytes) {
  if (!inBlockMode()) {
    lineModeBytes.insert(lineModeBytes.end(), bytes.begin(), bytes.end());
    return;
  }
  for (const std::uint8_t b : bytes) {
    if (buffer_.received < buffer_.expected) {
      buffer_.data[buffer_.received++] = b;
    } else {
      ++buffer_.overrun;
    }
  }
  if (transfer_) transfer_->onBlockData();
}

void FakeSession::run(std::chrono::milliseconds limit) {
  const auto end = now_ + limit;
  for (;;) {
    if (!events_.empty()) {
      auto event = std::move(events_.front());
      events_.pop_front();
      event();
      continue;
    }
    if (timers_.empty()) return;
    auto next = timers_.begin();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
      if (it->second.due < next->second.due) next = it;
    if (next->second.due > end) return;
    now_ = next->second.due;
    const int id = next->first;
    next->second.due += next->second.period;
    if (!transfer_) {
      timers_.erase(id);
      continue;
    }
    switch (id) {
      case session::kTimerBlockData: transfer_->onBlockTimeout(); break;
      case session::kTimerTransferRequest: transfer_->onRequestTimeout(); break;
      case session::kTimerCancelConfirm: transfer_->onConfirmationTimeout(); break;
      default: timers_.erase(id); break;
    }
  }
}

// ---- FakeRecorder ----

void FakeRecorder::add(std::uint16_t fileNumber, const std::vector<std::uint8_t>& pages) {
  auto data = std::make_shared<std::vector<std::uint8_t>>(pages);
  recordings[fileNumber] = {pages.size() / kPageSize, [data](std::uint64_t page, std::uint8_t* out) {
                              std::memcpy(out, data->data() + page * kPageSize, kPageSize);
                            }};
}

void FakeRecorder::addGenerated(std::uint16_t fileNumber, std::uint64_t pages, std::uint32_t seed) {
  recordings[fileNumber] = {pages, [fileNumber, seed](std::uint64_t page, std::uint8_t* out) {
                              makePage(fileNumber, page, seed, out);
                            }};
}

void FakeRecorder::onLine(const std::string& line) {
  if (line.rfind("$R5,DNL,", 0) != 0) return;
  requests.push_back(line);
  if (silentRequests) return;
  const auto file = session::wholeNumber(session::field(line, 2));
  const auto first = session::wholeNumber(session::field(line, 3));
  const std::string lastText = session::field(line, 4);
  const std::string perBlockText = session::field(line, 5);
  const auto last = session::wholeNumber(lastText);
  std::string perBlockDigits = perBlockText;
  while (!perBlockDigits.empty() && (perBlockDigits.back() == '\n' || perBlockDigits.back() == '\r')) perBlockDigits.pop_back();
  const auto perBlock = session::wholeNumber(perBlockDigits);
  const auto rec = file ? recordings.find(static_cast<std::uint16_t>(*file)) : recordings.end();
  if (refuse || !first || !last || !perBlock || *perBlock == 0 || *perBlock > 256 || rec == recordings.end() ||
      *first > *last || *last >= rec->second.pages) {
    session_.post([this] {
      if (session_.inBlockMode()) return;
      session_.download()->onRefused();
    });
    return;
  }
  inTransfer_ = true;
  file_ = static_cast<std::uint16_t>(*file);
  first_ = *first;
  last_ = *last;
  perBlock_ = *perBlock;
  current_.reset();
  session_.post([this] { session_.download()->onRequestAccepted(); });
}

void FakeRecorder::onControl(char byte) {
  if (ignoreControls > 0) {
    --ignoreControls;
    return;
  }
  if (!inTransfer_) return;
  const auto endLine = [this](const std::string& text, void (operations::Download::*handler)()) {
    session_.post([this, text, handler] {
      if (session_.inBlockMode()) {
        session_.deliverBytes(std::vector<std::uint8_t>(text.begin(), text.end()));
      } else {
        (session_.download()->*handler)();
      }
    });
  };
  switch (byte) {
    case 'n': {
      if (silentBlocks > 0) {
        --silentBlocks;
        return;
      }
      const std::uint64_t start = current_ ? *current_ + perBlock_ : first_;
      if (start > last_) {
        inTransfer_ = false;
        endLine("$R5,MSG,DNL,END,\r\n", &operations::Download::onEndOfTransfer);
        return;
      }
      current_ = start;
      sendBlock(start);
      return;
    }
    case 'r':
      if (current_) sendBlock(*current_);
      return;
    case 'c':
      inTransfer_ = false;
      if (confirmCancel) endLine("$R5,MSG,DNL,CANCEL,\r\n", &operations::Download::onCancelConfirmed);
      return;
    default:
      return;
  }
}

void FakeRecorder::sendBlock(std::uint64_t start) {
  const std::uint64_t count = std::min<std::uint64_t>(perBlock_, last_ - start + 1);
  std::vector<std::uint8_t> copy(static_cast<std::size_t>(count) * kPageSize);
  const auto& source = recordings.at(file_);
  for (std::uint64_t i = 0; i < count; ++i) source.read(start + i, copy.data() + i * kPageSize);
  const int index = blocksSent++;
  if (lostBlocks > 0) {
    --lostBlocks;
    return;
  }
  if (mutate) mutate(copy, start, index);
  if (extraBytes > 0) {
    copy.insert(copy.end(), static_cast<std::size_t>(extraBytes), 0x55);
    extraBytes = 0;
  }
  if (dropBytes > 0) {
    copy.resize(copy.size() - std::min<std::size_t>(copy.size(), static_cast<std::size_t>(dropBytes)));
    dropBytes = 0;
  }
  session_.post([this, copy] { session_.deliverBytes(copy); });
}

// ---- pages ----

void makePage(std::uint16_t fileNumber, std::uint64_t pageNumber, std::uint32_t seed, std::uint8_t* out) {
  std::uint8_t plain[512];
  std::uint32_t x = seed * 2654435761u ^ static_cast<std::uint32_t>(pageNumber * 40503u + fileNumber);
  for (auto& b : plain) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  sim::RecordingFormat format;
  format.fileNumber = fileNumber;
  sim::buildPage(plain, sim::trailerFor(format, static_cast<std::int32_t>(static_cast<std::uint32_t>(pageNumber))), out);
}

std::vector<std::uint8_t> makePages(std::uint16_t fileNumber, std::uint64_t pages, std::uint32_t seed) {
  std::vector<std::uint8_t> all(static_cast<std::size_t>(pages) * kPageSize);
  for (std::uint64_t i = 0; i < pages; ++i) makePage(fileNumber, i, seed, all.data() + i * kPageSize);
  return all;
}

std::string im2Of(const std::vector<std::uint8_t>& pages) {
  if (pages.empty()) return {};
  std::string out(pages.end() - static_cast<std::ptrdiff_t>(kPageSize), pages.end());
  out.append(pages.begin(), pages.end());
  return out;
}

std::string recordLine(std::uint16_t fileNumber, std::uint64_t pages) {
  return "$R5,MSG,LST," + std::to_string(fileNumber) + ",8000,4,1,0,20240517,093000," + std::to_string(pages);
}

}  // namespace recdesk::test
