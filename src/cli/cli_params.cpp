#include "cli/cli_params.h"

#include <nlohmann/json.hpp>

#include <array>

#include "cli/cli_run.h"
#include "store/driver_params_text.h"
#include "store/impedance_file.h"

int printDriverParams(const DriverParams& p, const char* message, bool json, std::ostream& out,
                      std::ostream& err) {
  const bool ok = message[0] == '\0';
  if (json) {
    nlohmann::ordered_json j;
    j["ok"] = ok;
    j["message"] = message;
    j["re_from_dc"] = p.status == ParamsStatus::ok && p.electrical.reFromDc;
    nlohmann::ordered_json values = nlohmann::ordered_json::object();
    std::array<ParamEntry, kMaxParamEntries> entries;
    const int n = driverParamEntries(p, entries);
    for (int i = 0; i < n; ++i) {
      const ParamEntry& e = entries[static_cast<size_t>(i)];
      values[e.key] = {{"value", e.value}, {"unit", e.unit}};
    }
    j["parameters"] = values;
    out << j.dump(2) << '\n';
  } else {
    out << driverParamsText(p);
  }
  if (!ok) err << "sonrake-cli: " << message << '\n';
  return ok ? kCliOk : kCliRunFailed;
}

int runParamsCommand(const CliArgs& args, std::ostream& out, std::ostream& err) {
  const ImpedanceFile first = readImpedanceFile(*args.paramsFile);
  if (!first.ok) {
    err << "sonrake-cli: " << first.error << '\n';
    return kCliRunFailed;
  }
  MechanicalInputs mech;
  ImpedanceFile second;
  const std::optional<std::string>& secondPath = args.withMassFile ? args.withMassFile : args.inBoxFile;
  if (secondPath) {
    second = readImpedanceFile(*secondPath);
    if (!second.ok) {
      err << "sonrake-cli: " << second.error << '\n';
      return kCliRunFailed;
    }
    mech.method = args.withMassFile ? MechMethod::addedMass : MechMethod::closedBox;
    mech.addedMassG = args.addedMassG.value_or(0.0);
    mech.boxLitres = args.boxLitres.value_or(0.0);
    mech.sdCm2 = args.sdCm2.value_or(0.0);
  }
  const DriverParams p =
      driverParams(first.freqHz, first.z, second.freqHz, second.z, args.reDcOhm.value_or(0.0), mech);
  const char* message = p.status != ParamsStatus::ok ? paramsStatusText(p.status)
                        : mech.method != MechMethod::none ? paramsStatusText(p.mechStatus)
                                                           : "";
  return printDriverParams(p, message, args.json, out, err);
}
