// CEvent::to_string: one line of labelled fields for logs and diagnostics.
#include <toolkit/event.h>

#include <sstream>

namespace toolkit {

// Every field in a fixed order, whatever the kind carries; nothing is quoted or escaped.
std::string CEvent::to_string() const {
    std::ostringstream line;
    std::string value_text;
    value.to_string(value_text);

    line << "type:" << type << " event_time:" << event_time.tv_sec << " event_id:" << event_id
         << " sequence_id:" << sequence_id << " path:" << path << " cmd:" << cmd
         << " value:" << value_text << " source:" << source;
    if (type == QEL_EVENT_SEVERITY_KIND)
        line << " severity:" << severity;
    else
        line << " quality:" << static_cast<unsigned>(quality);
    line << " was_logged:" << was_logged << " cause:" << cause << " generic:" << generic()
         << " final:" << final << " is_alarm:" << is_alarm() << " is_ack:" << is_ack()
         << " ack_status:" << ack_status << " base_priority:" << base_priority
         << " condition_raised:" << condition_raised << " auto_close:" << auto_close
         << " variation_level:" << variation_level << " note:" << note
         << " description:" << description;

    line << " waveform_urls:";
    for (std::size_t i = 0; i < waveform_urls.size(); ++i) {
        if (i != 0) line << ',';
        line << waveform_urls[i];
    }
    line << " details:";
    for (const auto& entry : details) line << entry.first << '=' << entry.second << ',';
    return line.str();
}

}  // namespace toolkit
