#include "timeline/m_InitSteps.h"

#include "common/Variables.h"

// Until the timeline lands: four empty steps with their durations, so the
// driver runs its clock.
void m_InitSteps() {
    const int32_t durations[4] = {83000, 19500, 40400, 7300};
    Steps.Redim(0, 3);
    for (int32_t i = 0; i < 4; ++i) {
        Steps[i].Duration = durations[i];
        Steps[i].EyePath.Redim(0, 0);
        Steps[i].TargetPath.Redim(0, 0);
    }
    CurrentStep = 0;
}
