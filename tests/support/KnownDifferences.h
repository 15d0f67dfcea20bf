#pragma once

// The deliberate differences from older versions, each with the tests that show it (program and
// function; "none" where no test does). docs/compatibility.md has one row per key, and
// test_compatibility keeps the two lists in step.

#include <array>
#include <string_view>

namespace kestrin::test {

struct KnownDifference {
    std::string_view key;
    std::string_view shownBy; // "test_program::function", several separated by blanks
};

inline constexpr std::array kKnownDifferences{
    // Storing orders
    KnownDifference{"order-id-20-characters",
                    "test_orderstore::longControlIdFindsItsSegments test_resultmessage::olderTenCharacterKeysAreFound"},
    KnownDifference{"stored-pid-pv1-oldest", "test_resultmessage::firstOfSeveralPidLines"},
    KnownDifference{"customer-found-by-stored-id", "test_orderstore::customers"},
    KnownDifference{"customer-insert-unless-present", "test_importprocesses::stationsShareOneServerDatabase"},
    KnownDifference{"parameter-id-32-bit", "test_orderstore::parameterBeyondSixteenBits"},
    KnownDifference{"import-code-lowest-parameter", "none"},
    KnownDifference{"twelve-am-hour-00", "test_datetexts::toDbDateTime"},
    KnownDifference{"collection-date-other-shape", "test_orderstore::collectionDates"},
    KnownDifference{"values-cut-to-column", "test_orderstore::longValuesCutToTheirColumns"},
    KnownDifference{"absent-field-empty-text", "test_importsafety::absentFieldsAreEmptyText"},
    KnownDifference{"values-bound", "test_orderstore::apostrophesAreData test_exportcycle::apostropheInSampleId"},
    KnownDifference{"escapes-resolved-on-import", "test_orderstore::escapesResolvedInColumnsOnly"},
    KnownDifference{"delimiters-from-msh", "test_messageparsing::fieldPositions test_messageparsing::orderSegments"},
    KnownDifference{"orc2-empty-refused", "test_orderstore::messageWithoutIdentifiersFails"},
    KnownDifference{"pid3-empty-stored",
                    "test_importcycle::ordersWithoutPatientIdGetAPatientEach "
                    "test_resultmessage::orderWithoutPatientIdKeepsItsOwnPidLine"},
    KnownDifference{"segment-counters-never-wrap", "test_importsafety::pastALimitFails"},
    KnownDifference{"import-size-limits", "test_importsafety::pastALimitFails"},
    KnownDifference{"unknown-segments-capped", "test_importsafety::unknownSegmentsAreSummed"},
    KnownDifference{"failed-message-no-archive-rows",
                    "test_importcycle::failedFileDoesNotEndTheCycle test_orderstore::messageWithoutIdentifiersFails"},
    // The import cycle and its files
    KnownDifference{"order-stored-once", "test_importprocesses::killsAtRandomStoreEveryOrderOnce"},
    KnownDifference{"database-outage-file-back", "test_importsafety::lostDatabaseSendsTheFileBack"},
    KnownDifference{"import-claim-rename", "test_importprocesses::twoProcessesShareOneFolder"},
    KnownDifference{"import-max-failures", "test_importcycle::failuresEndTheCycleAtTheirLimit"},
    KnownDifference{"unwritable-done-or-error-folder",
                    "test_importsafety::unfilableStoredFileIsNeverStoredTwice "
                    "test_importsafety::failedFilesWaitingForTheErrorFolderAreSaid"},
    KnownDifference{"done-folders-real", "test_importsafety::hostileFolderContents"},
    KnownDifference{"regular-files-only", "test_importsafety::hostileFolderContents"},
    KnownDifference{"import-max-bytes", "test_importsafety::oversizedFileIsNotRead"},
    KnownDifference{"import-min-age", "test_importcycle::youngFilesWait"},
    KnownDifference{"odd-file-names-taken",
                    "test_importsafety::awkwardNamesAreTaken test_olderseams::windows1252NameWaitsForItsAge"},
    KnownDifference{"import-folder-trouble-said-once", "test_importsafety::importFolderTroubleIsSaidOnce"},
    KnownDifference{"check-tries-import-folders", "test_importprocesses::checkAgreesWithTheCycle"},
    KnownDifference{"import-stations-take-turns", "test_importprocesses::stationsShareOneServerDatabase"},
    // Start-up and configuration
    KnownDifference{"firstshift-required", "test_startupchecks::problems test_program::startupRefuses"},
    KnownDifference{"settings-refused-at-start", "test_startupchecks::problems test_program::startupRefuses"},
    KnownDifference{"shift-under-a-second-refused", "test_startupchecks::problems"},
    KnownDifference{"export-names-refused", "test_configuration::refusedValues test_startupchecks::problems"},
    KnownDifference{"hl7-texts-refused", "test_configuration::refusedValues"},
    KnownDifference{"folder-names-refused", "test_configuration::refusedValues"},
    KnownDifference{"import-extension-refused", "test_configuration::refusedValues"},
    KnownDifference{"ini-switch-regular-file", "test_configuration::unreadableFileStopsStartUp"},
    KnownDifference{"ini-package-place-first", "test_configuration::locate"},
    KnownDifference{"db-connection-encrypted", "test_databasessl::certificateChecked test_configuration::passwordFile"},
    KnownDifference{"version-help-words",
                    "test_commandline::versionAndUnknownSwitches test_commandline::kestrinSwitches"},
    KnownDifference{"relative-folders-from-ini", "test_configuration::relativeFoldersFollowTheIniFile"},
    KnownDifference{"unknown-switches-said", "test_commandline::versionAndUnknownSwitches"},
    KnownDifference{"refused-login-exit-78", "test_databasetrouble::refusedLoginIsAConfigurationError"},
    KnownDifference{"one-start-per-station", "test_program::secondStartOfAStationIsRefused"},
    KnownDifference{"files-mode-0640", "test_program::cycleNeedsAnInitialisedDatabase"},
    KnownDifference{"own-tables-by-initdb", "test_databasetrouble::ownTablesComeOnlyFromInitDb"},
    KnownDifference{"own-table-dropped-said", "test_databasetrouble::ownTableDroppedUnderTheService"},
    KnownDifference{"initdb-tables-before-indexes", "test_schema::refusedIndexKeepsNoTableAway"},
    // The log
    KnownDifference{"log-header-four-lines", "test_changemarkers::logFileHeader"},
    KnownDifference{"log-entry-one-line", "test_commlog::lines"},
    KnownDifference{"database-error-160-characters", "test_database::errorCarriesDriverTextAndStatement"},
    // Running
    KnownDifference{"connection-reopened",
                    "test_service::lostConnectionIsOpenedAgain test_entrysession::lostConnectionIsOpenedAgain"},
    KnownDifference{"identity-insert-connected-database", "none"},
    KnownDifference{"cycles-own-thread", "test_runmodes::scanAnsweredWhileTheImportWaits"},
    KnownDifference{"exit-finishes-batch", "test_program::stopSignalFinishesTheBatchInHand"},
    KnownDifference{"sighup-stops", "test_databasetrouble::stopWhileAnotherProgramHoldsTheLock"},
    KnownDifference{"cycle-cutoffs-every-mode", "test_service::exportTimerFollowsTheRunMode"},
    KnownDifference{"cycle-export-type-rule", "test_service::cycleSwitchFollowsTheRunMode"},
    KnownDifference{"traffic-display-5000", "test_mainwindow::displayKeepsTheNewestLines"},
    // Result messages and files
    KnownDifference{"escapes-on-export", "test_resultmessage::delimitersInDataAreEscaped"},
    KnownDifference{"null-as-empty-field", "test_resultmessage::nullsGiveEmptyText"},
    KnownDifference{"obx-over-99", "test_resultmessage::moreThanNinetyNineResults"},
    KnownDifference{"result-decimal-separator", "test_resultmessage::numericResultInRegionalFormat"},
    KnownDifference{"export-failure-line", "test_exportcycle::failingSampleDoesNotStopTheOthers"},
    KnownDifference{"export-goes-on-after-failure", "test_exportcycle::failingSampleDoesNotStopTheOthers"},
    KnownDifference{"export-path-not-created", "test_exportcycle::missingExportFolderKeepsTheQueue"},
    KnownDifference{"temp-file-written-afresh", "test_exportcycle::staleTemporaryFileNotAppended"},
    KnownDifference{"work-folder-kestrin", "test_exportcycle::publishedAcrossFileSystems"},
    KnownDifference{"no-work-file-left", "test_exportcycle::temporaryFilesDoNotLeak"},
    KnownDifference{"stale-work-files-removed", "test_exportcycle::staleWorkFiles"},
    KnownDifference{"export-links-not-followed", "test_exportprocesses::linksPlantedInTheExportFolderAreNotFollowed"},
    KnownDifference{
        "file-name-odd-characters",
        "test_exportcycle::idsThatShareAFileNameKeepTheirOwn test_exportcycle::unsafeSampleIdStaysInsideTheFolder"},
    KnownDifference{"other-sample-file-kept", "test_exportcycle::anotherSamplesFileIsNotReplaced"},
    KnownDifference{"long-sample-id-file-name",
                    "test_exportcycle::longSampleIdsGoOut test_olderseams::longSampleIdStopsNoOtherSample"},
    KnownDifference{"queue-rows-without-sample-id", "test_exportcycle::rowsWithoutSampleIdStay"},
    KnownDifference{"stored-as-number-found",
                    "test_exportcycle::sampleIdsStoredAsNoText test_exportprocesses::sampleIdsInEveryStoredForm"},
    KnownDifference{"dequeue-rows-read", "test_exportcycle::onlyTheRowsReadAreDequeued"},
    KnownDifference{"dequeue-before-publishing", "test_exportcycle::nothingPublishedThatCannotBeDequeued"},
    KnownDifference{"dequeue-commit-fails", "test_exportcycle::uncommittedDequeueSendsNothingAgain"},
    KnownDifference{
        "export-claims",
        "test_exportcycle::claimsOfOtherExporters test_exportprocesses::exportersOnOneDatabaseSendEachSampleOnce"},
    KnownDifference{"read-only-database-publishes-nothing", "test_exportcycle::readOnlyDatabaseSendsNothingTwice"},
    KnownDifference{"full-disk-publishes-nothing",
                    "test_exportcycle::fullDeviceRefusesTheFile test_exportcycle::folderThatTakesNoFile"},
    // Stations
    KnownDifference{"qc-link-one-transaction", "test_qcorders::failureLeavesTheAnalyserAsItWas"},
    KnownDifference{"entry-stored-whole", "test_entrysession::failedEntryLeavesNothing"},
    KnownDifference{"entry-needs-sample-id", "test_pushinputwindow::entryWithoutSampleId"},
    KnownDifference{"clear-session-own-rows", "test_entrysession::clearTakesOnlyThisWindowsRows"},
    KnownDifference{"entry-limits-from-catalogue", "test_entrysession::entryLimits test_schema::catalogueSizes"},
    KnownDifference{"entry-text-bounds-as-numbers", "test_entrysession::interpretation"},
    KnownDifference{"entry-interpretation-in-program", "test_entrysession::interpretation"},
    KnownDifference{"id-station-any-number", "test_idstationwindow::thousandsOfTiles"},
    KnownDifference{"id-station-binds-station", "test_idstation::samplesOfTheAnalyser"},
    KnownDifference{"request-monitor-keeps-lists", "test_requestmonitor::failingReloadKeepsTheLists"},
    KnownDifference{"close-view-minimises", "test_mainwindow::closeViewMinimisesWithoutAnIcon"},
    KnownDifference{"startup-window-width", "test_mainwindow::splashShowsProgress"},
    KnownDifference{"captions-english-fallback", "test_sharedlookups::lookupText"},
    KnownDifference{"own-messages-follow-language",
                    "test_idstationwindow::messagesFollowTheLanguage test_pushinputwindow::messagesFollowTheLanguage"},
};

} // namespace kestrin::test
