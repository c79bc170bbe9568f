#pragma once
// A parameter model linked to a real engine and program store, shared by
// the routing, assignment and display tests. Each test gets fresh ones, so
// records written by one test never leak into another.
#include <gtest/gtest.h>

#include <memory>

#include "core/CProgram.h"
#include "engine/CEngine.h"
#include "params/CPIBase.h"

class ModelFixture : public ::testing::Test {
protected:
    void SetUp() override {
        engine = std::make_unique<CEngine>();
        engine->Init();
        store = std::make_unique<CProgram>();
        model = std::make_unique<CPIBase>();
        model->SetEngine(engine.get());
        model->SetProgramStore(store.get());
        // Every part gets a program of its own; otherwise all parts would
        // read program 0.
        for (int part = 0; part < 16; ++part) store->SetPartProgram(part, 0, part);
        model->ArmAssignSource(0, false);
    }
    void TearDown() override { model->ArmAssignSource(0, false); }

    float* Record(int part) { return store->GetProgramData(part); }
    float Target(int part, int id) const { return engine->data.partTargets[part][id]; }
    uint32_t Cell(int part, int id) const { return engine->data.partRecord[part][id]; }
    float CellF(int part, int id) const { return engine->data.PartF(part, id); }

    std::unique_ptr<CEngine> engine;
    std::unique_ptr<CProgram> store;
    std::unique_ptr<CPIBase> model;
};
