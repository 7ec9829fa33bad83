#pragma once

// Log tags: every line a component writes starts with its tag, padded as the support staff's log
// filters and the tests expect them (so "VBoxTool   : " keeps its three blanks). Macros, not variables,
// so that a tag joins the literal after it at compile time and the line's bytes stay as they were:
//     qInfo() << ORV_LOG_VBOXTOOL "check vbox path";
//     QStringLiteral(ORV_LOG_VBOXTOOL "exec  ") + program
#define ORV_LOG_VBOXTOOL "VBoxTool   : "
#define ORV_LOG_LOADING "Loading    : "
#define ORV_LOG_GLOBAL "Global : "
#define ORV_LOG_CRASHHANDLER "CrashHandler : "
#define ORV_LOG_SQLITETOOL "SQLiteTool : "
#define ORV_LOG_DATAREPORT "DataReport : "
#define ORV_LOG_DATAREPORTDAO "DataReportDao : "
#define ORV_LOG_DATAREPORTENGINE "DataReportEngine : "
#define ORV_LOG_ANDROID "Android    : "
#define ORV_LOG_VINPUT "VInput     : "
