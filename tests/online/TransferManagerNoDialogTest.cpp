// A run whose progress dialog cannot be shown: this program carries no
// dialog resources, so the dialog never opens and never starts the worker.
#include <gtest/gtest.h>
#include "TransferTestSupport.h"
#include "online/TransferManager.h"

namespace {

using namespace testing_support;

TEST(TransferManagerNoDialog, NoJobRunsAndTheRunFails)
{
    CTransferManager manager;
    CScriptJob* job = new CScriptJob(nullptr);
    manager.AddJob(job);
    EXPECT_FALSE(manager.RunWithDialog(NULL, RunTexts(), true));
    EXPECT_EQ(job->runs, 0);
    EXPECT_EQ(job->GetState(), CTransferJob::STATE_QUEUED);
    EXPECT_TRUE(manager.Wait(0));
}

} // namespace
