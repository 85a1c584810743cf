#include "sim/scenario.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sstream>

#include "platform/simulated/sim_call_list.h"
#include "sim/device_notice.h"
#include "sim/host_double.h"
#include "sim/transcript.h"

namespace {

// A word from the file as an error message quotes it: control bytes escaped, long words cut, so
// that a binary file yields a readable message.
std::string quoted(const std::string& word) {
  constexpr size_t MAX_SHOWN = 24;
  std::string result = "'";
  append_printable(&result, word.data(), word.data() + std::min(word.size(), MAX_SHOWN));
  if (word.size() > MAX_SHOWN) {
    result += "...";
  }
  return result + "'";
}

std::vector<std::string> split_words(const std::string& line) {
  std::istringstream text(line.substr(0, line.find('#')));
  std::vector<std::string> words;
  for (std::string word; text >> word;) {
    words.push_back(word);
  }
  return words;
}

// A digit's value in base 16 or 10, or -1.
int digit_value(char c, bool hex) {
  int value = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : -1;
  return value < (hex ? 16 : 10) ? value : -1;
}

// Decimal, or hexadecimal after "0x"; nothing else, and nothing above `limit`.
bool parse_number(const std::string& word, unsigned long long limit, unsigned long long* value) {
  bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
  unsigned base = hex ? 16 : 10;
  unsigned long long result = 0;
  for (size_t i = hex ? 2 : 0; i < word.size(); ++i) {
    int digit = digit_value(word[i], hex);
    if (digit < 0 || result > (limit - static_cast<unsigned>(digit)) / base) {
      return false;
    }
    result = result * base + static_cast<unsigned>(digit);
  }
  *value = result;
  return word.size() > (hex ? 2u : 0u);
}

bool fail(ScenarioReader& reader, std::string* error, const std::string& message) {
  *error = reader.name + ":" + std::to_string(reader.line) + ": " + message;
  return false;
}

std::string hex_text(unsigned long long value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, value);
  return text;
}

// Reads the words of one step after its verb; `at` moves past what each reader takes.
struct LineParser {
  ScenarioReader& reader;
  std::string* error;
  ScenarioStep* step;
  const std::vector<std::string>& words;
  size_t at;

  bool fail(const std::string& message) { return ::fail(reader, error, message); }

  bool more() const { return at < words.size(); }
  // The word after the last one taken; only when there is one.
  const std::string& next() const { return words[at]; }

  bool take(const char* word) {
    if (more() && words[at] == word) {
      ++at;
      return true;
    }
    return false;
  }

  bool done() {
    if (more()) {
      return fail("unexpected " + quoted(words[at]) + " after '" + words[0] + "'");
    }
    return true;
  }

  bool number(unsigned long long limit, unsigned long long* value) {
    return more() && parse_number(words[at++], limit, value);
  }

  // The word just taken, as an error quotes it.
  std::string last() const { return quoted(words[at - 1]); }
};

bool parse_tick(LineParser& p, ScenarioStep* step) {
  step->ticks = 1;
  if (p.more()) {
    unsigned long long ticks;
    if (!p.number(MAX_TICKS_PER_STEP, &ticks) || ticks == 0) {
      return p.fail("tick count " + p.last() + " is not a number from 1 to " +
                    std::to_string(MAX_TICKS_PER_STEP));
    }
    step->ticks = static_cast<long>(ticks);
  }
  p.reader.ticks += step->ticks;
  if (p.reader.ticks > MAX_TICKS_PER_SCENARIO) {
    return p.fail("the scenario runs more than " + std::to_string(MAX_TICKS_PER_SCENARIO) +
                  " ticks");
  }
  step->text = "tick " + std::to_string(step->ticks);
  return p.done();
}

bool parse_load(LineParser& p, ScenarioStep* step) {
  step->api_version = HOST_API_VERSION;
  step->text = "load";
  if (!p.more()) {
    return true;
  }
  if (p.take("version") && p.more()) {
    unsigned long long version;
    if (!p.number(0xFFFFFFFFull, &version)) {
      return p.fail("version " + p.last() + " is not a 32-bit number");
    }
    step->api_version = static_cast<int32_t>(static_cast<uint32_t>(version));
    step->text = "load version " + hex_text(version, 1);
    return p.done();
  }
  if (p.take("missing") && p.more()) {
    step->text = "load missing";
    while (p.more()) {
      const std::string& name = p.words[p.at++];
      unsigned bit = host_import_bit(name.c_str());
      if (bit == 0) {
        return p.fail(quoted(name) + " is not one of the six host functions");
      }
      step->missing_functions |= bit;
      step->text += " " + name;
    }
    return true;
  }
  if (p.take("null") && (p.take("get_function") || p.take("register_callback"))) {
    bool get_function = p.words[p.at - 1] == "get_function";
    step->record = get_function ? RECORD_NULL_GET_FUNCTION : RECORD_NULL_REGISTER_CALLBACK;
    step->text = "load null " + p.words[p.at - 1];
    return p.done();
  }
  return p.fail(
      "expected 'load', 'load version V', 'load missing NAME...' or 'load null get_function|"
      "register_callback'");
}

bool parse_counts(LineParser& p, ScenarioStep* step) {
  unsigned long long inputs;
  unsigned long long outputs;
  if (!p.number(MAX_PORTS, &inputs) || !p.number(MAX_PORTS, &outputs)) {
    return p.fail("expected 'counts IN OUT' with numbers from 0 to " + std::to_string(MAX_PORTS));
  }
  step->inputs = static_cast<unsigned>(inputs);
  step->outputs = static_cast<unsigned>(outputs);
  p.reader.inputs = step->inputs;
  p.reader.outputs = step->outputs;
  step->text = "counts " + std::to_string(inputs) + " " + std::to_string(outputs);
  return p.done();
}

// A device class word, where one stands; audio where none does.
bool parse_class(LineParser& p, ScenarioStep* step) {
  step->device_class = DEVICE_CLASS_AUDIO;
  if (p.more() && device_class_from_name(p.next().c_str(), &step->device_class)) {
    ++p.at;
  } else if (p.more() && step->kind != STEP_NOTIFY) {
    return p.fail("unknown device class " + quoted(p.next()) +
                  " (audio, render, capture, midi-in, midi-out or other)");
  }
  step->text += std::string(" ") + device_class_name(step->device_class);
  return true;
}

bool parse_plug(LineParser& p, ScenarioStep* step) {
  bool plug = step->kind == STEP_PLUG;
  const std::string& verb = p.words[0];
  if (!p.take("input") && !p.take("output")) {
    return p.fail("expected '" + verb + " input' or '" + verb + " output'");
  }
  step->input_port = p.words[1] == "input";
  step->event_code = plug ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
  step->header = NOTIFY_INTERFACE_HEADER;
  step->device_type = DBT_DEVTYP_DEVICEINTERFACE;
  step->text = verb + " " + p.words[1];
  if (!parse_class(p, step) || !p.done()) {
    return false;
  }
  unsigned& ports = step->input_port ? p.reader.inputs : p.reader.outputs;
  if (!plug && ports == 0) {
    return p.fail("no " + p.words[1] + " port left to unplug");
  }
  if (plug && ports == MAX_PORTS) {
    return p.fail("more than " + std::to_string(MAX_PORTS) + " " + p.words[1] + " ports");
  }
  ports = plug ? ports + 1 : ports - 1;
  return true;
}

// Hex digits, two a byte, that begin with their own count as a 32-bit little-endian dbch_size.
bool parse_bytes(LineParser& p, ScenarioStep* step) {
  const std::string hex = p.more() ? p.words[p.at++] : "";
  bool valid = !hex.empty() && hex.size() % 2 == 0 && hex.size() / 2 <= DEVICE_NOTICE_CAPACITY;
  for (size_t i = 0; valid && i < hex.size(); i += 2) {
    int high = digit_value(hex[i], true);
    int low = digit_value(hex[i + 1], true);
    valid = high >= 0 && low >= 0;
    step->bytes.push_back(static_cast<unsigned char>(high * 16 + low));
  }
  uint32_t size = 0;
  for (size_t i = 0; valid && i < 4 && i < step->bytes.size(); ++i) {
    size |= static_cast<uint32_t>(step->bytes[i]) << (8 * i);
  }
  // A header never reaches the window with more bytes claimed than the sender gave.
  if (!valid || step->bytes.size() < 4 || size != step->bytes.size()) {
    return p.fail("expected 'bytes HEX': up to " + std::to_string(DEVICE_NOTICE_CAPACITY) +
                  " bytes, the first four their own count");
  }
  step->header = NOTIFY_BYTES;
  step->native_only = step->native_only || size < sizeof(DEV_BROADCAST_HDR);
  step->text += " bytes " + hex;
  return true;
}

// `named_event`: arrival and removal carry an audio-class header unless told otherwise; a code
// given as a number carries none.
bool parse_header(LineParser& p, ScenarioStep* step, bool named_event) {
  step->device_type = DBT_DEVTYP_DEVICEINTERFACE;
  if (p.take("short")) {
    step->header = NOTIFY_SHORT_HEADER;
    step->text += " short";
  } else if (p.take("none")) {
    step->header = NOTIFY_NO_HEADER;
    step->text += named_event ? " none" : "";
  } else if (p.take("poisoned")) {
    step->header = NOTIFY_POISONED;
    step->native_only = true;
    step->text += " poisoned";
  } else if (p.take("bytes")) {
    return parse_bytes(p, step);
  } else if (named_event ||
             (p.more() && device_class_from_name(p.next().c_str(), &step->device_class))) {
    step->header = NOTIFY_INTERFACE_HEADER;
    if (!parse_class(p, step)) {
      return false;
    }
    unsigned long long value;
    if (p.take("size")) {
      if (!p.number(MAX_HEADER_BYTES, &value)) {
        return p.fail("expected 'size N' with N from 0 to " + std::to_string(MAX_HEADER_BYTES));
      }
      step->header_size = static_cast<uint32_t>(value);
      step->native_only = step->native_only || value < sizeof(DEV_BROADCAST_HDR);
      step->text += " size " + std::to_string(value);
    }
    if (p.take("type")) {
      if (!p.number(0xFFFFFFFFull, &value)) {
        return p.fail("expected 'type T' with a 32-bit number");
      }
      step->device_type = static_cast<uint32_t>(value);
      step->text += " type " + std::to_string(value);
    }
  } else {
    step->header = NOTIFY_NO_HEADER;
  }
  return true;
}

bool parse_notify(LineParser& p, ScenarioStep* step) {
  bool named_event = p.take("arrival") || p.take("removal");
  if (named_event) {
    bool arrival = p.words[1] == "arrival";
    step->event_code = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    step->text = std::string("notify ") + (arrival ? "arrival" : "removal");
  } else if (p.take("code") && p.more()) {
    unsigned long long code;
    if (!p.number(~0ull, &code)) {
      return p.fail("event code " + p.last() + " is not a 64-bit number");
    }
    step->event_code = code;
    step->text = "notify code " + hex_text(code, 4);
  } else {
    return p.fail(
        "expected 'notify arrival|removal [HEADER] [now]' or 'notify code V [HEADER] "
        "[now]'");
  }
  if (!parse_header(p, step, named_event)) {
    return false;
  }
  if (p.take("now")) {
    step->now = true;
    step->native_only = true;
    step->text += " now";
  }
  if (step->header == NOTIFY_POISONED && !step->now) {
    return p.fail("a poisoned header is only sent 'now'");
  }
  return p.done();
}

bool parse_message(LineParser& p, ScenarioStep* step) {
  unsigned long long message;
  unsigned long long first;
  unsigned long long second;
  if (!p.number(0xFFFF, &message) || !p.number(~0ull, &first) || !p.number(~0ull, &second)) {
    return p.fail("expected 'message M FIRST SECOND [post]'");
  }
  step->first = first;
  step->second = second;
  // Device changes are notify's; creation records are the system's own, read by the default
  // procedure.
  if (message == WM_DEVICECHANGE || message == WM_NCCREATE || message == WM_CREATE) {
    return p.fail("message " + hex_text(message, 4) + " is not one a scenario may send");
  }
  step->message = static_cast<uint32_t>(message);
  step->post = p.take("post");
  step->native_only = true;
  step->text = "message " + hex_text(message, 4) + " " + hex_text(step->first, 1) + " " +
               hex_text(step->second, 1) + (step->post ? " post" : "");
  return p.done();
}

bool parse_fail(LineParser& p, ScenarioStep* step) {
  auto names_end = std::end(SIM_CALL_NAMES);
  if (!p.more() || std::find(std::begin(SIM_CALL_NAMES), names_end, p.next()) == names_end) {
    return p.fail("expected 'fail NAME [NTH] [error E]' with NAME one of the simulated calls");
  }
  step->call = p.words[p.at++];
  step->nth = 1;
  step->error = ERROR_NOT_ENOUGH_MEMORY;
  unsigned long long value;
  if (p.more() && p.next() != "error") {
    if (!p.number(1000, &value) || value == 0) {
      return p.fail("expected a call number from 1 to 1000 after 'fail " + step->call + "'");
    }
    step->nth = static_cast<int>(value);
  }
  if (p.take("error")) {
    if (!p.number(0xFFFFFFFFull, &value)) {
      return p.fail("expected 'error E' with a 32-bit number");
    }
    step->error = static_cast<uint32_t>(value);
  }
  step->native_only = true;
  step->text =
      "fail " + step->call + " " + std::to_string(step->nth) +
      (step->error != ERROR_NOT_ENOUGH_MEMORY ? " error " + std::to_string(step->error) : "");
  return p.done();
}

bool parse_step(LineParser& p);

bool parse_power(LineParser& p, ScenarioStep* step) {
  unsigned long long code = 0;
  if (p.take("resume")) {
    code = PBT_APMRESUMEAUTOMATIC;
  } else if (p.take("suspend")) {
    code = PBT_APMSUSPEND;
  } else if (!p.take("code") || !p.number(0xFFFFFFFFull, &code)) {
    return p.fail("expected 'power resume', 'power suspend' or 'power code V'");
  }
  step->event_code = code;
  step->text = "power " + p.words[1] + (p.words[1] == "code" ? " " + hex_text(code, 4) : "");
  return p.done();
}

// What happens during the stall is read as a line of its own, and shown after the stall's length.
bool parse_stall(LineParser& p, ScenarioStep* step) {
  unsigned long long ms;
  if (!p.number(MAX_STALL_MS, &ms) || ms == 0) {
    return p.fail("expected 'stall MS [STEP]' with MS from 1 to " + std::to_string(MAX_STALL_MS));
  }
  step->stall_ms = static_cast<unsigned>(ms);
  step->text = "stall " + std::to_string(ms);
  if (!p.more()) {
    return true;
  }
  std::vector<std::string> rest(p.words.begin() + static_cast<std::ptrdiff_t>(p.at), p.words.end());
  ScenarioStep during{};
  during.line = step->line;
  LineParser inner{p.reader, p.error, &during, rest, 0};
  if (!parse_step(inner)) {
    return false;
  }
  bool device_step = during.kind == STEP_COUNTS || during.kind == STEP_PLUG ||
                     during.kind == STEP_UNPLUG || (during.kind == STEP_NOTIFY && !during.now);
  if (!device_step) {
    return p.fail("a stall holds one of 'counts', 'plug', 'unplug' or 'notify' without 'now'");
  }
  step->native_only = during.native_only;
  step->text += " " + during.text;
  step->during.push_back(during);
  return true;
}

bool parse_step(LineParser& p) {
  const std::string& verb = p.words[0];
  p.at = 1;
  ScenarioStep* step = p.step;
  struct Verb {
    const char* word;
    StepKind kind;
    bool (*parse)(LineParser&, ScenarioStep*);
  };
  static const Verb VERBS[] = {
      {"tick", STEP_TICK, parse_tick},       {"load", STEP_LOAD, parse_load},
      {"unload", STEP_UNLOAD, nullptr},      {"counts", STEP_COUNTS, parse_counts},
      {"plug", STEP_PLUG, parse_plug},       {"unplug", STEP_UNPLUG, parse_plug},
      {"notify", STEP_NOTIFY, parse_notify}, {"message", STEP_MESSAGE, parse_message},
      {"fail", STEP_FAIL, parse_fail},       {"stall", STEP_STALL, parse_stall},
      {"power", STEP_POWER, parse_power},
  };
  for (const Verb& known : VERBS) {
    if (verb == known.word) {
      step->kind = known.kind;
      if (known.parse == nullptr) {
        step->text = verb;
        return p.done();
      }
      return known.parse(p, step);
    }
  }
  return p.fail(
      "unknown step " + quoted(verb) +
      " (tick, load, unload, counts, plug, unplug, notify, message, fail, stall or power)");
}

}  // namespace

ScenarioReader scenario_reader(const std::string& name) {
  return ScenarioReader{name, 0, 0, 0, 0};
}

bool read_scenario_line(ScenarioReader* reader, const std::string& line, ScenarioStep* step,
                        bool* has_step, std::string* error) {
  ++reader->line;
  std::vector<std::string> words = split_words(line);
  *has_step = !words.empty();
  if (words.empty()) {
    return true;
  }
  *step = ScenarioStep{};
  step->line = reader->line;
  LineParser parser{*reader, error, step, words, 0};
  return parse_step(parser);
}

bool parse_scenario(const std::string& source, const std::string& name,
                    std::vector<ScenarioStep>* steps, std::string* error) {
  ScenarioReader reader = scenario_reader(name);
  steps->clear();
  for (const std::string& line : split_lines(source)) {
    ScenarioStep step;
    bool has_step = false;
    if (!read_scenario_line(&reader, line, &step, &has_step, error)) {
      return false;
    }
    if (has_step) {
      steps->push_back(step);
    }
  }
  // An empty file is almost always the wrong file: playing it would print nothing and pass.
  if (steps->empty()) {
    reader.line = reader.line > 0 ? reader.line : 1;
    return fail(reader, error, "the scenario holds no steps");
  }
  return true;
}

bool read_text_file(const std::string& path, std::string* text, std::string* error) {
  // Far beyond any scenario or transcript; a bigger file is not one.
  constexpr size_t MAX_FILE_SIZE = 1 << 20;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  text->clear();
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text->append(buffer, got);
    if (text->size() > MAX_FILE_SIZE) {
      std::fclose(file);
      *error = path + " is larger than " + std::to_string(MAX_FILE_SIZE) + " bytes";
      return false;
    }
  }
  bool failed = std::ferror(file) != 0;
  int reason = errno;
  std::fclose(file);
  if (failed) {
    *error = "cannot read " + path + ": " + std::strerror(reason);
    return false;
  }
  return true;
}
