// Refusing databases that would poison training: labels below 1 index no
// class, and a value that is not finite turns every kernel sum into NaN;
// and outputs that such a value (or the kernel itself) has reached.
#include "plugins/kernel_classifier/database_checks.h"

#include <cmath>

#include "scriptrun/messages.h"
#include "support/matrix.h"

bool check_database_values(const DataMatrix* db, const char* prefix)
{
    if (!check_labels(db, prefix))
        return false;
    for (int r = 0; r < db->rows; r++) {
        const double* row = matrix_row(db, r);
        for (int c = 0; c + 1 < db->cols; c++) {
            if (!std::isfinite(row[c])) {
                print_message("%s: the value in row %d, column %d is not a finite number\n",
                              prefix, r + 1, c + 1);
                return false;
            }
        }
    }
    return true;
}

bool check_kernel_values(const DataMatrix* m, int columns, const char* prefix)
{
    for (int r = 0; r < m->rows; r++) {
        const double* row = matrix_row(m, r);
        for (int c = 0; c < columns; c++)
            if (!std::isfinite(row[c])) {
                print_message("%s: the kernel gives a value that is not a finite number for "
                              "row %d\n", prefix, r + 1);
                return false;
            }
    }
    return true;
}
