#include "io/platform/LibavLibrary.h"

#include <dlfcn.h>

#include <memory>
#include <string>

namespace quar {

namespace {

// Resolves `name` into `entry`; false when the libraries lack it.
template <typename Function>
bool resolve(void* handle, const char* name, Function& entry) {
  void* symbol = ::dlsym(handle, name);
  entry = reinterpret_cast<Function>(symbol);
  return symbol != nullptr;
}

std::unique_ptr<LibavLibrary> load() {
  // libavformat's own dependencies bring libavcodec and libavutil of the versions built against;
  // symbols are looked up through it.
  const std::string name = "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR);
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  auto library = std::make_unique<LibavLibrary>();
  LibavLibrary& l = *library;
  const bool complete = resolve(handle, "av_find_best_stream", l.av_find_best_stream) &&
                        resolve(handle, "av_guess_format", l.av_guess_format) &&
                        resolve(handle, "av_interleaved_write_frame", l.av_interleaved_write_frame) &&
                        resolve(handle, "av_read_frame", l.av_read_frame) &&
                        resolve(handle, "av_write_trailer", l.av_write_trailer) &&
                        resolve(handle, "avformat_alloc_output_context2", l.avformat_alloc_output_context2) &&
                        resolve(handle, "avformat_close_input", l.avformat_close_input) &&
                        resolve(handle, "avformat_find_stream_info", l.avformat_find_stream_info) &&
                        resolve(handle, "avformat_free_context", l.avformat_free_context) &&
                        resolve(handle, "avformat_new_stream", l.avformat_new_stream) &&
                        resolve(handle, "avformat_open_input", l.avformat_open_input) &&
                        resolve(handle, "avformat_write_header", l.avformat_write_header) &&
                        resolve(handle, "avio_closep", l.avio_closep) &&
                        resolve(handle, "avio_open", l.avio_open) &&
                        resolve(handle, "av_get_bits_per_sample", l.av_get_bits_per_sample) &&
                        resolve(handle, "av_packet_alloc", l.av_packet_alloc) &&
                        resolve(handle, "av_packet_free", l.av_packet_free) &&
                        resolve(handle, "av_packet_move_ref", l.av_packet_move_ref) &&
                        resolve(handle, "av_packet_rescale_ts", l.av_packet_rescale_ts) &&
                        resolve(handle, "av_packet_unref", l.av_packet_unref) &&
                        resolve(handle, "avcodec_alloc_context3", l.avcodec_alloc_context3) &&
                        resolve(handle, "avcodec_find_decoder", l.avcodec_find_decoder) &&
                        resolve(handle, "avcodec_find_encoder", l.avcodec_find_encoder) &&
                        resolve(handle, "avcodec_free_context", l.avcodec_free_context) &&
                        resolve(handle, "avcodec_open2", l.avcodec_open2) &&
                        resolve(handle, "avcodec_parameters_from_context", l.avcodec_parameters_from_context) &&
                        resolve(handle, "avcodec_parameters_to_context", l.avcodec_parameters_to_context) &&
                        resolve(handle, "avcodec_receive_frame", l.avcodec_receive_frame) &&
                        resolve(handle, "avcodec_receive_packet", l.avcodec_receive_packet) &&
                        resolve(handle, "avcodec_send_frame", l.avcodec_send_frame) &&
                        resolve(handle, "avcodec_send_packet", l.avcodec_send_packet) &&
                        resolve(handle, "av_channel_layout_channel_from_index", l.av_channel_layout_channel_from_index) &&
                        resolve(handle, "av_channel_layout_copy", l.av_channel_layout_copy) &&
                        resolve(handle, "av_channel_layout_from_mask", l.av_channel_layout_from_mask) &&
                        resolve(handle, "av_dict_free", l.av_dict_free) &&
                        resolve(handle, "av_dict_get", l.av_dict_get) &&
                        resolve(handle, "av_dict_set", l.av_dict_set) &&
                        resolve(handle, "av_dict_set_int", l.av_dict_set_int) &&
                        resolve(handle, "av_frame_alloc", l.av_frame_alloc) &&
                        resolve(handle, "av_frame_free", l.av_frame_free) &&
                        resolve(handle, "av_frame_get_buffer", l.av_frame_get_buffer) &&
                        resolve(handle, "av_frame_make_writable", l.av_frame_make_writable) &&
                        resolve(handle, "av_frame_unref", l.av_frame_unref) &&
                        resolve(handle, "av_get_packed_sample_fmt", l.av_get_packed_sample_fmt) &&
                        resolve(handle, "av_log_set_level", l.av_log_set_level) &&
                        resolve(handle, "av_rescale", l.av_rescale) &&
                        resolve(handle, "av_rescale_q", l.av_rescale_q) &&
                        resolve(handle, "av_sample_fmt_is_planar", l.av_sample_fmt_is_planar);
  if (!complete) return nullptr;
  return library;
}

} // namespace

const LibavLibrary* LibavLibrary::shared() {
  static const std::unique_ptr<LibavLibrary> library = load();
  return library.get();
}

} // namespace quar
