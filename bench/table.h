#pragma once

#include <QString>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

// The targets and the figures measured for them, printed as one table: target, goal, median,
// min and max over the runs, and whether the median meets the goal.
class Table {
public:
    enum class Need { AtLeast, AtMost, Below };

    struct Row {
        QString target;
        QString goal;
        Need need;
        double limit;
        int decimals;
        std::vector<double> values;
        // Shown instead of figures when the row was not measured.
        QString skipped;
        // Some figure of the row is only a bound: a run stopped at its time-out.
        bool partial = false;
        // In some run the port dropped received bytes, where every byte must reach Input.
        bool lossy = false;
    };

    Table();

    // The row with the given id; nullptr for an unknown id.
    Row* row(const std::string& id);

    bool anyPartial() const;
    bool anyLossy() const;
    void print(std::FILE* out) const;

private:
    void add(const char* id, const char* target, const char* goal, Need need, double limit,
             int decimals);

    std::map<std::string, Row> rows_;
    std::vector<std::string> order_;
};

} // namespace bench
