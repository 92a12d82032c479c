// LibavLibrary: FFmpeg's libavformat, libavcodec and libavutil, loaded when a file first needs
// them instead of linked: they pull in well over a hundred libraries, which a process that only
// reads and writes what libsndfile and libFLAC handle should neither map nor relocate. Holds the
// entry points the native reader, writer and codec queries call. The shared instance is loaded
// once per process (thread-safe) and never unloaded; a loaded library is immutable and may be
// used from any thread.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace quar {

struct LibavLibrary {
  // The loaded libraries; null when they or an entry point are missing.
  static const LibavLibrary* shared();

  // libavformat
  decltype(&::av_find_best_stream) av_find_best_stream = nullptr;
  decltype(&::av_guess_format) av_guess_format = nullptr;
  decltype(&::av_interleaved_write_frame) av_interleaved_write_frame = nullptr;
  decltype(&::av_read_frame) av_read_frame = nullptr;
  decltype(&::av_write_trailer) av_write_trailer = nullptr;
  decltype(&::avformat_alloc_output_context2) avformat_alloc_output_context2 = nullptr;
  decltype(&::avformat_close_input) avformat_close_input = nullptr;
  decltype(&::avformat_find_stream_info) avformat_find_stream_info = nullptr;
  decltype(&::avformat_free_context) avformat_free_context = nullptr;
  decltype(&::avformat_new_stream) avformat_new_stream = nullptr;
  decltype(&::avformat_open_input) avformat_open_input = nullptr;
  decltype(&::avformat_write_header) avformat_write_header = nullptr;
  decltype(&::avio_closep) avio_closep = nullptr;
  decltype(&::avio_open) avio_open = nullptr;
  // libavcodec
  decltype(&::av_get_bits_per_sample) av_get_bits_per_sample = nullptr;
  decltype(&::av_packet_alloc) av_packet_alloc = nullptr;
  decltype(&::av_packet_free) av_packet_free = nullptr;
  decltype(&::av_packet_move_ref) av_packet_move_ref = nullptr;
  decltype(&::av_packet_rescale_ts) av_packet_rescale_ts = nullptr;
  decltype(&::av_packet_unref) av_packet_unref = nullptr;
  decltype(&::avcodec_alloc_context3) avcodec_alloc_context3 = nullptr;
  decltype(&::avcodec_find_decoder) avcodec_find_decoder = nullptr;
  decltype(&::avcodec_find_encoder) avcodec_find_encoder = nullptr;
  decltype(&::avcodec_free_context) avcodec_free_context = nullptr;
  decltype(&::avcodec_open2) avcodec_open2 = nullptr;
  decltype(&::avcodec_parameters_from_context) avcodec_parameters_from_context = nullptr;
  decltype(&::avcodec_parameters_to_context) avcodec_parameters_to_context = nullptr;
  decltype(&::avcodec_receive_frame) avcodec_receive_frame = nullptr;
  decltype(&::avcodec_receive_packet) avcodec_receive_packet = nullptr;
  decltype(&::avcodec_send_frame) avcodec_send_frame = nullptr;
  decltype(&::avcodec_send_packet) avcodec_send_packet = nullptr;
  // libavutil
  decltype(&::av_channel_layout_channel_from_index) av_channel_layout_channel_from_index = nullptr;
  decltype(&::av_channel_layout_copy) av_channel_layout_copy = nullptr;
  decltype(&::av_channel_layout_from_mask) av_channel_layout_from_mask = nullptr;
  decltype(&::av_dict_free) av_dict_free = nullptr;
  decltype(&::av_dict_get) av_dict_get = nullptr;
  decltype(&::av_dict_set) av_dict_set = nullptr;
  decltype(&::av_dict_set_int) av_dict_set_int = nullptr;
  decltype(&::av_frame_alloc) av_frame_alloc = nullptr;
  decltype(&::av_frame_free) av_frame_free = nullptr;
  decltype(&::av_frame_get_buffer) av_frame_get_buffer = nullptr;
  decltype(&::av_frame_make_writable) av_frame_make_writable = nullptr;
  decltype(&::av_frame_unref) av_frame_unref = nullptr;
  decltype(&::av_get_packed_sample_fmt) av_get_packed_sample_fmt = nullptr;
  decltype(&::av_log_set_level) av_log_set_level = nullptr;
  decltype(&::av_rescale) av_rescale = nullptr;
  decltype(&::av_rescale_q) av_rescale_q = nullptr;
  decltype(&::av_sample_fmt_is_planar) av_sample_fmt_is_planar = nullptr;
};

// The shared instance, for code that runs only after shared() has returned one.
inline const LibavLibrary& libav() { return *LibavLibrary::shared(); }

} // namespace quar
