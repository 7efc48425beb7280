// The data-file reader of both programs: one sample per line, fields
// separated by ",", the features first and the class label (from 1) last.
#ifndef NETTOOLS_DATA_FILE_H
#define NETTOOLS_DATA_FILE_H

#include <string>
#include <vector>

// Class labels run from 1 to 500, so no network has more than 500 outputs.
constexpr int kMaxLabel = 500;

struct DataFile {
    int features = 0;               // "," characters in the first line
    int lines = 0;                  // data lines; blank lines are skipped
    std::vector<float> values;      // features * lines, row after row in file order
    std::vector<int> classes;       // per line: the label minus 1
    int largest = 0;                // largest class index, from 0
    std::vector<int> classCounts;   // rows per class index 0..largest, when counted
};

enum DataReadResult {
    DATA_READ = 0,       // every line read
    DATA_NO_FILE = 1,    // nothing stands at the path (errno says why); nothing printed
    DATA_NO_MEMORY = 2,  // the block cannot be allocated; nothing printed
    DATA_BAD = 3         // the file cannot be read, is no regular file, or a line
                         // failed its checks; the message is printed
};

// Reads path, printing the counts and the reading lines with fileWord
// ("trainfile", "testfile"). Every line must have the first line's field
// count, numeric features and a whole label from 1 to maxLabel; a failing
// line is reported with the file name and line number. countClasses fills
// classCounts.
DataReadResult read_data_file(const std::string& path, const char* fileWord, int maxLabel,
                              bool countClasses, DataFile* data);
// read_data_file for the programs: a missing file is reported with
// missingText and a line naming it with the reason, a failed allocation
// with "Not enough memory!"; every failure ends the process with status 1
// after the wait for one character.
void read_data_or_exit(const std::string& path, const char* fileWord, int maxLabel,
                       bool countClasses, const char* missingText, DataFile* data);


#endif
