// The decoders' own messages, caught for the picture being decoded.
//
// Qt's image readers report through Qt's message log, and libpng prints its
// fatal errors to standard error itself. While a DecoderMessages is alive on
// a thread, both kinds of message from that thread are kept in it and printed
// nowhere; other threads, and this one before and after, log as usual.
#pragma once

#include <string>
#include <vector>

namespace tessera {

struct DecoderMessage {
  std::string category;  // Qt's logging category, "" when there is none
  std::string text;      // as the decoder wrote it
};

class DecoderMessages {
 public:
  DecoderMessages();
  ~DecoderMessages();
  DecoderMessages(const DecoderMessages&) = delete;
  DecoderMessages& operator=(const DecoderMessages&) = delete;

  const std::vector<DecoderMessage>& messages() const { return messages_; }

  // Keeps a message for the innermost collector of this thread; false when
  // there is none.
  static bool record(const char* category, std::string text);

  // Is a collector alive on this thread?
  static bool collecting();

 private:
  std::vector<DecoderMessage> messages_;
  DecoderMessages* outer_;
};

}  // namespace tessera
