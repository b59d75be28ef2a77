#pragma once

#include <string>
#include <vector>

// The camera ID table: which identification code names which model. Built once, in full, by the constructor
// and read-only afterwards. Row order matters: lookups visit the rows from the first to the last and the first
// matching row wins. Row 0 holds the default model.
class CamIdList {
public:
	struct Row {
		std::string code;  // the code the camera reports ("KJA"), "543"/"610" for ZQ418, "None" for the HX7
		std::string model; // the model name used by the factory, the profile file name and the user interface
	};

	CamIdList();

	const std::vector<Row> &rows() const { return idRows; }

private:
	std::vector<Row> idRows;
};
