/* SPDX-License-Identifier: MIT */
// Forms and the application object.
//
// A program's form is a class derived from TForm whose constructor binds its
// control fields and handlers by name and loads its form description:
//
//   TFMain::TFMain(TComponent* owner) : TForm(owner)
//   {
//       FormBinding binding;
//       binding.Field("BtnOpen", BtnOpen);
//       binding.Handler("BtnOpenClick", this, &TFMain::BtnOpenClick);
//       LoadFromDescription(MainDescription, binding);
//   }
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "forms/controls.h"
#include "forms/menus.h"

namespace forms {

// The names a form description refers to: the form's control fields and its
// handlers.
class FormBinding {
public:
    // After loading, `field` points at the component of that name; loading
    // fails if there is none or it is of another class.
    template <class T>
    void Field(std::string name, T*& field)
    {
        fields_.push_back({std::move(name), [&field](TComponent* c) { return (field = dynamic_cast<T*>(c)) != nullptr; }});
    }

    // An event property naming `name` calls `method` on `form`.
    template <class Form>
    void Handler(std::string name, Form* form, void (Form::*method)(TObject*))
    {
        handlers_.Add(std::move(name), [form, method](TObject* sender) { (form->*method)(sender); });
    }

    void Handler(std::string name, TNotifyEvent handler) { handlers_.Add(std::move(name), std::move(handler)); }

private:
    friend class TForm;
    struct FieldBinding {
        std::string name;
        std::function<bool(TComponent*)> assign;
    };
    std::vector<FieldBinding> fields_;
    HandlerTable handlers_;
};

// A window message: the form's message handlers get it and may set Result.
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    TMainMenu* Menu() const { return menu_; }
    TIcon& Icon() { return icon_; }
    const TIcon& Icon() const { return icon_; }

    TNotifyEvent OnCreate;
    TCloseEvent OnClose;

    // Closes the form: runs OnClose (which may refuse with caNone), hides it,
    // and ends the application when it is the main form.
    void Close();

    // Routes window message `msg` to `handler` instead of the default
    // processing (for example a tray icon's callback message).
    void SetMessageHandler(UINT msg, std::function<void(TMessage&)> handler);
    // Sends a message to the form as Windows would; returns its result.
    LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);
    bool HandlesMessage(UINT msg) const { return messageHandlers_.contains(msg); }

    // Runs OnCreate; TApplication::CreateForm calls it once the form exists.
    void AfterConstruction();

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

protected:
    // Creates the components of `description`, sets their properties, binds
    // the fields and handlers, and gives the form to the back end.  Raises
    // EFormDescriptionError (with the line) on any mismatch.
    void LoadFromDescription(std::string_view description, FormBinding& binding);

private:
    TMainMenu* menu_ = nullptr;
    TIcon icon_;
    std::map<UINT, std::function<void(TMessage&)>> messageHandlers_;
};

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    void Initialize() {}
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    // Creates a form owned by the application, stores it in `reference`, then
    // runs its OnCreate.  The first form created is the main form; it shows
    // as soon as it is created.
    template <class T>
    void CreateForm(T*& reference)
    {
        auto* form = new T(this);
        reference = form;
        AdoptForm(form);
    }

    TForm* MainForm() const { return mainForm_; }

    // Serves the window thread until Terminate or the main form closes.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Handles what is waiting for the window thread, then returns.
    void ProcessMessages();

    // The hidden top-level window that owns the taskbar button.
    HWND Handle() const;

    // The standard exception display: a message box (through the OS seam)
    // with the exception's message, ended by a full stop, captioned with the
    // application's title.
    void ShowException(const std::exception& error);
    // Runs a handler; an exception it raises goes to OnException or, if none,
    // to ShowException, and the program goes on.
    void Dispatch(const std::function<void()>& handler);
    std::function<void(TObject* Sender, const std::exception& error)> OnException;

    // Destroys every form and returns to the state before the first
    // CreateForm (for tests that start a program more than once).
    void Reset();

private:
    std::string title_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    void AdoptForm(TForm* form);
};

extern TApplication* Application;

}  // namespace forms
