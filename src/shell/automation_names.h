#pragma once

// The names automation clients use on the session bus.
namespace automation_names {
inline constexpr const char* kService = "Kestrivan.Application";
inline constexpr const char* kFactoryPath = "/Kestrivan/Application";
inline constexpr const char* kFactoryInterface = "Kestrivan.Application.Factory";
inline constexpr const char* kProxyPath = "/Kestrivan/Application/Object";
inline constexpr const char* kProxyInterface = "Kestrivan.Application.Object";
inline constexpr const char* kRefusedError = "Kestrivan.Application.Error.Refused";
inline constexpr const char* kSwitch = "-Automation";
}  // namespace automation_names
