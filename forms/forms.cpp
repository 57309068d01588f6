// SPDX-License-Identifier: MIT
#include "forms/forms.h"

#include <functional>
#include <memory>

#include "forms/backend.h"
#include "forms/os.h"
#include "forms/timer.h"

namespace forms {

namespace {

using Factory = std::function<TComponent*(TComponent* owner)>;

template <class T>
Factory Make()
{
    return [](TComponent* owner) { return new T(owner); };
}

const std::map<std::string, Factory, std::less<>>& Classes()
{
    static const std::map<std::string, Factory, std::less<>> classes = {
        {"TButton", Make<TButton>()},       {"TEdit", Make<TEdit>()},
        {"TLabel", Make<TLabel>()},         {"TPanel", Make<TPanel>()},
        {"TBevel", Make<TBevel>()},         {"TImage", Make<TImage>()},
        {"TGroupBox", Make<TGroupBox>()},   {"TRadioGroup", Make<TRadioGroup>()},
        {"TListBox", Make<TListBox>()},     {"TStatusBar", Make<TStatusBar>()},
        {"TMainMenu", Make<TMainMenu>()},   {"TPopupMenu", Make<TPopupMenu>()},
        {"TMenuItem", Make<TMenuItem>()},   {"TTimer", Make<TTimer>()},
    };
    return classes;
}

struct Created {
    const DescriptionObject* description;
    TComponent* component;
};

// Pass one: every component of the tree exists, named, with its parent.
void CreateChildren(TForm& form, const DescriptionObject& object, TComponent* container,
                    std::vector<Created>& created)
{
    for (const DescriptionObject& child : object.children) {
        const auto factory = Classes().find(child.className);
        if (factory == Classes().end())
            throw EFormDescriptionError(child.line, "unknown class " + child.className);
        if (form.FindComponent(child.name))
            throw EFormDescriptionError(child.line, "duplicate name " + child.name);
        TComponent* component = factory->second(&form);
        component->SetName(child.name);

        auto* item = dynamic_cast<TMenuItem*>(component);
        auto* control = dynamic_cast<TControl*>(component);
        if (item) {
            TMenuItem* parentItem = dynamic_cast<TMenuItem*>(container);
            if (auto* menu = dynamic_cast<TMenu*>(container))
                parentItem = &menu->Items();
            if (!parentItem)
                throw EFormDescriptionError(child.line, "menu item " + child.name + " outside a menu");
            parentItem->Add(item);
        } else if (control) {
            auto* parent = dynamic_cast<TWinControl*>(container);
            if (!parent)
                throw EFormDescriptionError(child.line, "control " + child.name + " inside a non-container");
            control->SetParent(parent);
        }
        created.push_back({&child, component});
        CreateChildren(form, child, component, created);
    }
}

void ApplyProperties(TComponent& component, const DescriptionObject& object, const HandlerTable& handlers)
{
    for (const DescriptionProperty& property : object.properties)
        if (!component.SetProperty(property, handlers))
            throw EFormDescriptionError(property.line,
                                        "unknown property " + property.name + " of " + object.className);
}

}  // namespace

// ---- TForm -------------------------------------------------------------------

TForm::TForm(TComponent* owner) : TWinControl(owner)
{
    SetVisible(false);
}

TForm::~TForm()
{
    backend::FormDestroying(*this);
}

void TForm::LoadFromDescription(std::string_view description, FormBinding& binding)
{
    const DescriptionObject root = ParseFormDescription(description);
    SetName(root.name);

    std::vector<Created> created{{&root, this}};
    CreateChildren(*this, root, this, created);
    for (const Created& entry : created)
        ApplyProperties(*entry.component, *entry.description, binding.handlers_);

    for (const auto& field : binding.fields_) {
        TComponent* component = FindComponent(field.name);
        if (!component || !field.assign(component))
            throw EFormDescriptionError(root.line, "no component " + field.name + " of the field's class");
    }
    for (const Created& entry : created)
        entry.component->Loaded();
    backend::FormLoaded(*this);
}

bool TForm::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    const std::string& name = property.name;
    if (name == "OnCreate")
        OnCreate = handlers.Find(PropertyIdent(property), property.line);
    else if (name == "Menu") {
        menu_ = dynamic_cast<TMainMenu*>(FindComponent(PropertyIdent(property)));
        if (!menu_)
            throw EFormDescriptionError(property.line, "no main menu named " + PropertyIdent(property));
    } else if (name == "Icon")
        icon_.LoadFromResourceName(PropertyString(property));
    else if (name == "PixelsPerInch" || name == "TextHeight")
        (void)PropertyInt(property);
    else if (name == "OldCreateOrder" || name == "Scaled")
        (void)PropertyBool(property);
    else if (name == "Position" || name == "BorderStyle" || name == "BorderIcons")
        return true;  // the window keeps its stored bounds and standard frame
    else
        return TWinControl::SetProperty(property, handlers);
    return true;
}

void TForm::AfterConstruction()
{
    if (OnCreate)
        Application->Dispatch([this] { OnCreate(this); });
}

void TForm::Close()
{
    TCloseAction action = Application->MainForm() == this ? caFree : caHide;
    if (OnClose)
        OnClose(this, action);
    if (action == caNone)
        return;
    Hide();
    if (Application->MainForm() == this)
        Application->Terminate();
}

void TForm::SetMessageHandler(UINT msg, std::function<void(TMessage&)> handler)
{
    messageHandlers_[msg] = std::move(handler);
}

LRESULT TForm::Perform(UINT msg, WPARAM wParam, LPARAM lParam)
{
    TMessage message{msg, wParam, lParam, 0};
    const auto handler = messageHandlers_.find(msg);
    if (handler != messageHandlers_.end())
        Application->Dispatch([&] { handler->second(message); });
    return message.Result;
}

// ---- TApplication ----------------------------------------------------------------

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() = default;

void TApplication::SetTitle(const std::string& title)
{
    title_ = title;
    backend::SetApplicationTitle(title);
}

void TApplication::AdoptForm(TForm* form)
{
    const bool first = mainForm_ == nullptr;
    if (first)
        mainForm_ = form;
    form->AfterConstruction();
    if (first && !terminated_)
        form->Show();
}

void TApplication::Run()
{
    if (!terminated_)
        backend::RunMessageLoop();
}

void TApplication::Terminate()
{
    terminated_ = true;
    backend::Terminating();
}

void TApplication::ProcessMessages()
{
    backend::ProcessMessages();
}

HWND TApplication::Handle() const
{
    return backend::ApplicationHandle();
}

void TApplication::ShowException(const std::exception& error)
{
    std::string message = error.what();
    if (!message.empty() && message.back() > '.')
        message += '.';
    Os().MessageBoxA(Handle(), message.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::Dispatch(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        if (OnException)
            OnException(this, error);
        else
            ShowException(error);
    }
}

void TApplication::Reset()
{
    while (ComponentCount() > 0)
        delete Components(ComponentCount() - 1);
    mainForm_ = nullptr;
    terminated_ = false;
    title_.clear();
}

// Never destroyed: worker threads may still reach it while the process exits.
TApplication* Application = new TApplication();

}  // namespace forms
