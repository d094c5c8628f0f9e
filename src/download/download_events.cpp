#include "download/download_events.h"

#include "platform/encoding.h"
#include "telemetry/logger.h"

void SendDownloadError(const wchar_t* errorType, const wchar_t* errorStatus) {
  ILoggerServer* logger = GetLogger();
  if (!logger) return;
  logger->ClearProperties();
  logger->AddStringProperty("error_type", WideToUtf8(errorType).c_str());
  logger->AddStringProperty("error_status", WideToUtf8(errorStatus).c_str());
  logger->SendEvent("vSoftDownloadError");
}
