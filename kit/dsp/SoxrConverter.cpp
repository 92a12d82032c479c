#include "dsp/SoxrConverter.h"

#include <soxr.h>

namespace quar {

void SoxrDelete::operator()(soxr* converter) const { soxr_delete(converter); }

SoxrConverter makeSoxrConverter(double from, double to, int channels) {
  soxr_error_t error = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_S, SOXR_FLOAT32_S);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  SoxrConverter converter(soxr_create(from, to, static_cast<unsigned>(channels), &error, &io, &quality, &runtime));
  if (error) converter.reset();
  return converter;
}

} // namespace quar
