// The owner's page beside each report: built from the report's own figures
// and a few reads of the receipts, written to the sales folder and uploaded
// to the report's folder right after the report, under a name of its own:
//   <raporlamahash>_gunluk_ozet.html           the running business day
//   <raporlamahash>_gunluk_ozet_YYYYMMDD.html  a closed day (final)
//   <raporlamahash>_aylik_ozet.html            the running month
//   <raporlamahash>_aylik_ozet_YYYYMM.html     a closed month (final)
// The local copy in the sales folder has the same name without the hash.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

struct CompanyInfo;
struct OwnerPage;
struct ReportPeriod;
struct ReportRunsData;
struct SharedState;

// The page's file name (without the hash) of a report's name suffix
// ("gunluk", "gunluk_20261207", "aylik", "aylik_202611"): "gunluk_ozet.html",
// "gunluk_ozet_20261207.html", ...
std::string ownerPageName(const std::string& reportSuffix);

// The page's figures (and its company name, period and time) of the report
// just made, as sendOwnerPage takes them: the report's own from
// reports.sales and those of the receipt reads, all over one connection.
// False when a read failed (shown under its caption).
bool ownerPageFigures(ReportRunsData& reports, SharedState& shared, const CompanyInfo& company,
                      const ReportPeriod& period, int64_t madeAt, const std::string& reportSuffix,
                      bool month, OwnerPage& page);

// Makes and uploads the owner's page of the report just uploaded over
// `period` and made at `madeAt`, from reports.sales (its summary and product
// lists as the report used them). A failure is logged and shown (caption
// "OZET_SAYFA"); the report's outcome and counters never change. True when
// the page reached the server. The thread of the report runs only.
bool sendOwnerPage(ReportRunsData& reports, SharedState& shared, const ReportPeriod& period,
                   int64_t madeAt, const std::string& reportSuffix, bool month);

}  // namespace kestrune
