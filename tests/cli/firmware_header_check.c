/* Includes the header that tavrin-cli --export c wrote for the sample data and
 * calibrates every sample point with its float arrays, as firmware would. The
 * results must match the tool's own --apply output of the same file.
 *   firmware_header_check RAW CALIBRATED */
#include "sample_calibration.h"

#include <math.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    FILE *raw, *calibrated;
    double h[3], expected[3];
    long points = 0, wrong = 0;
    if (argc != 3 || !(raw = fopen(argv[1], "r")) || !(calibrated = fopen(argv[2], "r"))) {
        fprintf(stderr, "usage: firmware_header_check RAW CALIBRATED\n");
        return 1;
    }
    while (fscanf(raw, "%lf %lf %lf", &h[0], &h[1], &h[2]) == 3) {
        float cal[3], norm = 0.0f;
        int i, j;
        if (fscanf(calibrated, "%lf\t%lf\t%lf", &expected[0], &expected[1], &expected[2]) != 3) {
            fprintf(stderr, "the calibrated file ends at point %ld\n", points + 1);
            return 1;
        }
        for (i = 0; i < 3; i++) {
            cal[i] = 0.0f;
            for (j = 0; j < 3; j++)
                cal[i] += sample_ainv[i][j] * ((float)h[j] - sample_bias[j]);
            norm += cal[i] * cal[i];
            if (fabs(cal[i] - expected[i]) > 1e-4)
                wrong++;
        }
        if (fabsf(sqrtf(norm) - sample_hm) > 0.05f * sample_hm)
            wrong++;
        points++;
    }
    fclose(raw);
    fclose(calibrated);
    printf("%ld points, %ld differences\n", points, wrong);
    return points == 2000 && wrong == 0 ? 0 : 1;
}
