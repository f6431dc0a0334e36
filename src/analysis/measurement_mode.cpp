#include "analysis/measurement_mode.h"

#include "setup/impedance_range.h"

GainEntrySetup mergeGainEntrySetup(MergeSetup& merge, bool impedance) {
  GainEntrySetup g;
  if (impedance) {
    // An impedance curve is scaled, not levelled: the gain is a factor.
    g.format = "%2.3f";
    g.minValue = 0.001;
    g.maxValue = 100.0;
    g.step = 1.05;
    g.ctrlStep = 1.2;
    g.stepMode = GainStepMode::multiply;
    g.lowerRef = &merge.lowerGain;
    g.upperRef = &merge.upperGain;
  } else {
    g.format = "%2.1f";
    g.minValue = -200.0;
    g.maxValue = 200.0;
    g.step = 0.2;
    g.ctrlStep = 10.0;
    g.stepMode = GainStepMode::add;
    g.lowerRef = &merge.lowerGainDb;
    g.upperRef = &merge.upperGainDb;
  }
  return g;
}

bool chooseImpedanceRange(MeasSetup& setup, int minIndex, int maxIndex) {
  const bool minChosen = minIndex >= 0 && minIndex < kZMinChoiceCount;
  const bool maxChosen = maxIndex >= 0 && maxIndex < kZMaxChoiceCount;
  if (minChosen) setup.zMin = zMinChoices[minIndex];
  if (maxChosen) setup.zMax = zMaxChoices[maxIndex];
  return minChosen || maxChosen;
}
